#include "output/xlsx/XlsxSharedStrings.h"

#include "output/workbook/XmlText.h"
#include "output/xlsx/XmlScanner.h"

namespace vok {

namespace {

class SharedStringsHandler : public XmlScanner::Handler {
public:
    SharedStringsHandler(std::string& arena, std::vector<XlsxSharedStrings::Span>& spans)
        : arena_(arena), spans_(spans) {}

    void StartElement(const XmlTag& tag) override {
        if (tag.local == "si") {
            inItem_ = true;
            item_.clear();
        } else if (tag.local == "rPh") {
            ++phonetic_;
        } else if (tag.local == "t" && inItem_ && phonetic_ == 0) {
            inText_ = true;
        }
    }
    void EndElement(const XmlTag& tag) override {
        if (tag.local == "t") {
            inText_ = false;
        } else if (tag.local == "rPh") {
            --phonetic_;
        } else if (tag.local == "si" && inItem_) {
            inItem_ = false;
            DecodeXstringEscapes(item_);
            spans_.push_back({arena_.size(), static_cast<uint32_t>(item_.size())});
            arena_ += item_;
        }
    }
    void Characters(std::string_view text) override {
        if (inText_) item_.append(text);
    }

private:
    std::string& arena_;
    std::vector<XlsxSharedStrings::Span>& spans_;
    std::string item_;
    bool inItem_ = false, inText_ = false;
    int phonetic_ = 0;
};

} // namespace

bool XlsxSharedStrings::Parse(std::string_view xml, std::string& error) {
    arena_.clear();
    spans_.clear();
    SharedStringsHandler handler(arena_, spans_);
    return XmlScanner::Scan(xml, handler, error);
}

bool XlsxSharedStrings::Get(size_t index, std::string_view& text) const {
    if (index >= spans_.size()) return false;
    text = std::string_view(arena_).substr(spans_[index].offset, spans_[index].length);
    return true;
}

} // namespace vok
