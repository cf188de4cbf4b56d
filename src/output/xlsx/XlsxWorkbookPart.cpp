#include "output/xlsx/XlsxWorkbookPart.h"

#include "output/workbook/XmlText.h"
#include "output/workbook/XmlScanner.h"

namespace vok {

namespace {

class WorkbookHandler : public XmlScanner::Handler {
public:
    explicit WorkbookHandler(XlsxWorkbookPart& part) : part_(part) {}

    void StartElement(const XmlTag& tag) override {
        if (tag.depth == 1) {
            part_.prefix = std::string(NamePrefix(tag.name));
        } else if (tag.depth == 2 && tag.local == "calcPr") {
            part_.hasCalcPr = true;
            part_.calcPrBegin = tag.begin;
            part_.calcPrEnd = tag.end;
            const char* full = tag.Attribute("fullCalcOnLoad");
            part_.fullCalcOnLoad =
                full && (std::string_view(full) == "1" || std::string_view(full) == "true");
        } else if (tag.depth == 3 && tag.local == "sheet") {
            XlsxSheetEntry& sheet = part_.sheets.emplace_back();
            const char* name = tag.Attribute("name");
            sheet.name = name ? name : "";
            sheet.begin = tag.begin;
            // Its relationship ("r:id", under whatever prefix) and the
            // namespaces it declares itself, in one look at its attributes.
            for (const char** a = tag.attributes; *a; a += 2) {
                const std::string_view attribute(a[0]);
                if (attribute == "xmlns" || attribute.substr(0, 6) == "xmlns:") {
                    sheet.declarations += ' ';
                    sheet.declarations += attribute;
                    sheet.declarations += "=\"";
                    AppendXmlText(sheet.declarations, a[1], true);
                    sheet.declarations += '"';
                } else if (const size_t colon = attribute.find(':');
                           sheet.idAttribute.empty() && colon != std::string_view::npos &&
                           attribute.substr(colon + 1) == "id") {
                    sheet.idAttribute = attribute;
                    sheet.relationshipId = a[1];
                }
            }
        }
    }

    void EndElement(const XmlTag& tag) override {
        if (tag.depth == 3 && tag.local == "sheet" && !part_.sheets.empty()) {
            part_.sheets.back().end = tag.end;
        } else if (tag.depth == 2 &&
                   (tag.local == "sheets" || tag.local == "functionGroups" ||
                    tag.local == "externalReferences" || tag.local == "definedNames")) {
            part_.calcPrInsertAt = tag.end;
        }
    }

private:
    XlsxWorkbookPart& part_;
};

class TitlesHandler : public XmlScanner::Handler {
public:
    explicit TitlesHandler(std::vector<XlsxTitle>& titles) : titles_(titles) {}

    void StartElement(const XmlTag& tag) override {
        // A title is text: one holding an element is no title vok can
        // rewrite, for its text cannot be replaced around the element.
        if (capture_) {
            holdsElements_ = true;
        } else if (tag.local == "TitlesOfParts") {
            inTitles_ = true;
        } else if (inTitles_ && tag.local == "lpstr") {
            XlsxTitle& title = titles_.emplace_back();
            title.contentBegin = tag.end;
            capture_ = true;
            holdsElements_ = false;
            captureDepth_ = tag.depth;
        }
    }
    void EndElement(const XmlTag& tag) override {
        if (capture_) {
            if (tag.depth != captureDepth_) return;
            titles_.back().contentEnd = tag.begin;
            if (holdsElements_) titles_.pop_back();
            capture_ = false;
        } else if (tag.local == "TitlesOfParts") {
            inTitles_ = false;
        }
    }
    void Characters(std::string_view text) override {
        if (capture_) titles_.back().text.append(text);
    }

private:
    std::vector<XlsxTitle>& titles_;
    bool inTitles_ = false, capture_ = false, holdsElements_ = false;
    int captureDepth_ = 0;
};

} // namespace

bool XlsxWorkbookPart::Parse(std::string_view xml, std::string& error) {
    *this = XlsxWorkbookPart();
    WorkbookHandler handler(*this);
    if (!XmlScanner::Scan(xml, handler, error)) return false;
    if (sheets.empty()) {
        error = "its workbook lists no sheets";
        return false;
    }
    return true;
}

bool ParseTitlesOfParts(std::string_view xml, std::vector<XlsxTitle>& titles, std::string& error) {
    titles.clear();
    TitlesHandler handler(titles);
    return XmlScanner::Scan(xml, handler, error);
}

} // namespace vok
