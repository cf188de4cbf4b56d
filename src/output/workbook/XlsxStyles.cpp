#include "output/workbook/XlsxStyles.h"

#include "output/workbook/XmlText.h"
#include "output/workbook/XmlScanner.h"

#include <algorithm>
#include <charconv>

namespace vok {

namespace {

// Number formats every spreadsheet knows by number; they need no numFmt entry.
constexpr std::pair<int32_t, std::string_view> kBuiltInFormats[] = {
    {1, "0"},  {2, "0.00"},   {3, "#,##0"},     {4, "#,##0.00"},
    {9, "0%"}, {10, "0.00%"}, {11, "0.00E+00"}, {49, "@"},
};
constexpr int32_t kFirstCustomFormat = 164;

int32_t ToInt(const char* text, int32_t fallback = 0) {
    if (!text) return fallback;
    std::string_view s = text;
    int32_t value = fallback;
    auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    return result.ec == std::errc() ? value : fallback;
}

} // namespace

// Records where the parts vok may change lie.
class StylesHandler : public XmlScanner::Handler {
public:
    explicit StylesHandler(XlsxStyles& s) : s_(s) {}

    void StartElement(const XmlTag& tag) override {
        if (tag.depth == 1) {
            s_.prefix_ = std::string(NamePrefix(tag.name));
            s_.styleSheetStartEnd_ = tag.end;
        } else if (tag.depth == 2) {
            container_ = tag.local;
            if (tag.local == "numFmts")
                Open(s_.numFmts_, tag);
            else if (tag.local == "cellXfs")
                Open(s_.cellXfs_, tag);
        } else if (tag.depth == 3) {
            StartItem(tag);
        } else if (tag.depth == 4 && container_ == "fonts" && !s_.fonts_.empty()) {
            XlsxStyles::Font& font = s_.fonts_.back();
            if (tag.local == "name") {
                font.hasName = true;
                font.nameBegin = tag.begin;
                const char* val = tag.Attribute("val");
                font.name = val ? val : "";
            } else if (tag.local == "scheme") {
                font.hasScheme = true;
                font.schemeBegin = tag.begin;
            }
        }
    }

    void EndElement(const XmlTag& tag) override {
        if (tag.depth == 2) {
            if (tag.local == "numFmts")
                Close(s_.numFmts_, tag);
            else if (tag.local == "cellXfs")
                Close(s_.cellXfs_, tag);
            container_.clear();
        } else if (tag.depth == 3 && container_ == "cellXfs" && tag.local == "xf") {
            s_.xfs_.back().end = tag.end;
        } else if (tag.depth == 4 && container_ == "fonts" && !s_.fonts_.empty()) {
            XlsxStyles::Font& font = s_.fonts_.back();
            if (tag.local == "name")
                font.nameEnd = tag.end;
            else if (tag.local == "scheme")
                font.schemeEnd = tag.end;
        }
    }

private:
    static void Open(XlsxStyles::Range& r, const XmlTag& tag) {
        r.present = true;
        r.begin = tag.begin;
        r.startEnd = tag.end;
    }
    static void Close(XlsxStyles::Range& r, const XmlTag& tag) {
        r.endBegin = tag.begin;
        r.end = tag.end;
    }

    void StartItem(const XmlTag& tag) {
        if (container_ == "numFmts" && tag.local == "numFmt") {
            const char* code = tag.Attribute("formatCode");
            s_.numFmtCodes_.emplace_back(ToInt(tag.Attribute("numFmtId"), -1), code ? code : "");
        } else if (container_ == "fonts" && tag.local == "font") {
            XlsxStyles::Font& font = s_.fonts_.emplace_back();
            font.begin = tag.begin;
            font.startEnd = tag.end;
        } else if (container_ == "cellStyleXfs" && tag.local == "xf") {
            s_.styleXfFonts_.push_back(ToInt(tag.Attribute("fontId")));
        } else if (container_ == "cellXfs" && tag.local == "xf") {
            XlsxStyles::Xf& xf = s_.xfs_.emplace_back();
            xf.begin = tag.begin;
            xf.startEnd = tag.end;
            xf.numFmtId = ToInt(tag.Attribute("numFmtId"));
        } else if (container_ == "cellStyles" && tag.local == "cellStyle") {
            const char* builtin = tag.Attribute("builtinId");
            if (builtin && std::string_view(builtin) == "0") {
                s_.normalStyleXf_ = ToInt(tag.Attribute("xfId"));
            }
        }
    }

    XlsxStyles& s_;
    std::string container_;
};

bool XlsxStyles::Parse(std::string xml, std::string& error) {
    xml_ = std::move(xml);
    StylesHandler handler(*this);
    return XmlScanner::Scan(xml_, handler, error);
}

size_t XlsxStyles::DefaultFontIndex() const {
    int32_t font = 0;
    if (normalStyleXf_ >= 0 && static_cast<size_t>(normalStyleXf_) < styleXfFonts_.size()) {
        font = styleXfFonts_[static_cast<size_t>(normalStyleXf_)];
    }
    return font >= 0 && static_cast<size_t>(font) < fonts_.size() ? static_cast<size_t>(font) : 0;
}

std::string XlsxStyles::DefaultFontName() const {
    if (fontChanged_) return newFontName_;
    return fonts_.empty() ? std::string() : fonts_[DefaultFontIndex()].name;
}

void XlsxStyles::SetDefaultFontName(std::string_view name) {
    if (fonts_.empty() || name.empty() || name == DefaultFontName()) return;
    newFontName_ = std::string(name);
    fontChanged_ = true;
}

int32_t XlsxStyles::NumFmtIdFor(std::string_view code) {
    if (code.empty()) return 0;
    for (const auto& [id, builtIn] : kBuiltInFormats) {
        if (builtIn == code) return id;
    }
    int32_t highest = kFirstCustomFormat - 1;
    for (const auto* list : {&numFmtCodes_, &newNumFmts_}) {
        for (const auto& [id, existing] : *list) {
            if (existing == code) return id;
            highest = std::max(highest, id);
        }
    }
    newNumFmts_.emplace_back(highest + 1, std::string(code));
    return highest + 1;
}

std::string XlsxStyles::XfText(const Xf& xf) const {
    return xml_.substr(xf.begin, xf.end - xf.begin);
}

int32_t XlsxStyles::XfFor(int32_t baseXf, std::string_view formatCode) {
    // 1. Without a cellXfs table there is nothing to build on.
    if (!cellXfs_.present || xfs_.empty()) return baseXf;
    if (baseXf < 0 || static_cast<size_t>(baseXf) >= xfs_.size()) baseXf = 0;
    const Xf& base = xfs_[static_cast<size_t>(baseXf)];
    // 2. The base may show the format already.
    int32_t numFmtId = NumFmtIdFor(formatCode);
    if (base.numFmtId == numFmtId) return baseXf;
    auto cached = xfCache_.find({baseXf, numFmtId});
    if (cached != xfCache_.end()) return cached->second;
    // 3. The base's text with the number format put in.
    std::string_view startTag(xml_.data() + base.begin, base.startEnd - base.begin);
    std::string text = WithAttribute(WithAttribute(startTag, "numFmtId", std::to_string(numFmtId)),
                                     "applyNumberFormat", "1");
    text.append(xml_, base.startEnd, base.end - base.startEnd);
    // 4. Reuse an identical format (one vok added on an earlier run), else add it.
    int32_t index = -1;
    for (size_t i = 0; i < xfs_.size() && index < 0; ++i) {
        if (XfText(xfs_[i]) == text) index = static_cast<int32_t>(i);
    }
    for (size_t i = 0; i < newXfs_.size() && index < 0; ++i) {
        if (newXfs_[i] == text) index = static_cast<int32_t>(xfs_.size() + i);
    }
    if (index < 0) {
        newXfs_.push_back(std::move(text));
        index = static_cast<int32_t>(xfs_.size() + newXfs_.size() - 1);
    }
    xfCache_[{baseXf, numFmtId}] = index;
    return index;
}

void XlsxStyles::AppendToList(std::vector<XmlEdit>& edits, const Range& list,
                              std::string_view element, const std::string& count,
                              const std::string& items) const {
    // The list's start tag gets the new count; the items go before its end.
    const std::string_view start(xml_.data() + list.begin, list.startEnd - list.begin);
    std::string open = WithAttribute(start, "count", count);
    if (list.SelfClosing()) {
        open.erase(open.size() - 2, 1); // "/>" -> ">"
        edits.push_back({list.begin, list.end, open + items + "</" + Element(element) + ">"});
    } else {
        edits.push_back({list.begin, list.startEnd, open});
        edits.push_back({list.endBegin, list.endBegin, items});
    }
}

void XlsxStyles::AddNumberFormats(std::vector<XmlEdit>& edits) const {
    // New number formats go into numFmts, which is created when missing.
    std::string items;
    for (const auto& [id, code] : newNumFmts_) {
        items += "<" + Element("numFmt") + " numFmtId=\"" + std::to_string(id) + "\" formatCode=\"";
        AppendXmlText(items, code, true);
        items += "\"/>";
    }
    const std::string count = std::to_string(numFmtCodes_.size() + newNumFmts_.size());
    if (numFmts_.present) {
        AppendToList(edits, numFmts_, "numFmts", count, items);
    } else {
        edits.push_back({styleSheetStartEnd_, styleSheetStartEnd_,
                         "<" + Element("numFmts") + " count=\"" + count + "\">" + items + "</" +
                             Element("numFmts") + ">"});
    }
}

void XlsxStyles::RenameDefaultFont(std::vector<XmlEdit>& edits) const {
    // The default font gets its new name and no longer follows the theme.
    const Font& font = fonts_[DefaultFontIndex()];
    std::string name = "<" + Element("name") + " val=\"";
    AppendXmlText(name, newFontName_, true);
    name += "\"/>";
    if (font.hasName)
        edits.push_back({font.nameBegin, font.nameEnd, name});
    else
        edits.push_back({font.startEnd, font.startEnd, name});
    if (font.hasScheme) edits.push_back({font.schemeBegin, font.schemeEnd, {}});
}

std::string XlsxStyles::Patched() const {
    std::vector<XmlEdit> edits;
    if (!newNumFmts_.empty()) AddNumberFormats(edits);
    if (fontChanged_) RenameDefaultFont(edits);
    // New cell formats are appended to cellXfs.
    if (!newXfs_.empty()) {
        std::string items;
        for (const std::string& xf : newXfs_)
            items += xf;
        AppendToList(edits, cellXfs_, "cellXfs", std::to_string(xfs_.size() + newXfs_.size()),
                     items);
    }
    return ApplyEdits(xml_, std::move(edits));
}

} // namespace vok
