#include "output/xlsx/XlsxSheetRenamer.h"

#include "base/TextEncoding.h"
#include "output/workbook/XmlText.h"
#include "output/xlsx/XlsxFormulas.h"
#include "output/workbook/XmlScanner.h"

#include <algorithm>
#include <cctype>

namespace vok {

namespace {

// Whether a name must be quoted in a reference: anything but letters, digits,
// "_" and ".", a leading digit, or a name that reads as a cell reference.
bool NeedsQuotes(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return true;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || c == '_' || c == '.')) return true;
    }
    size_t letters = 0;
    while (letters < name.size() && std::isalpha(static_cast<unsigned char>(name[letters]))) {
        ++letters;
    }
    bool allDigitsAfter =
        letters < name.size() && std::all_of(name.begin() + letters, name.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    if (letters >= 1 && letters <= 3 && allDigitsAfter) return true; // A1, XFD10
    if ((name.front() == 'R' || name.front() == 'r' || name.front() == 'C' ||
         name.front() == 'c') &&
        std::all_of(name.begin() + 1, name.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) || c == 'C' || c == 'c';
        })) {
        return true; // R1C1 style
    }
    return false;
}

// Finds the elements and attributes that hold formulas.
class FormulaPartHandler : public XmlScanner::Handler {
public:
    FormulaPartHandler(const XlsxSheetRenamer& renamer, std::string_view xml)
        : renamer_(renamer), xml_(xml) {}
    std::vector<XmlEdit> edits;

    void StartElement(const XmlTag& tag) override {
        // A formula is text: one that holds an element is left as it stands,
        // for its text cannot be replaced around the element.
        if (capturing_) {
            holdsElements_ = true;
            return;
        }
        if (tag.local == "f" || tag.local == "formula" || tag.local == "formula1" ||
            tag.local == "formula2" || tag.local == "definedName" ||
            tag.local == "calculatedColumnFormula") {
            capturing_ = true;
            holdsElements_ = false;
            captureDepth_ = tag.depth;
            contentBegin_ = tag.end;
            text_.clear();
        } else if (tag.local == "hyperlink") {
            const char* location = tag.Attribute("location");
            if (location && renamer_.RenameInFormula(location, renamed_)) EditTag(tag, "location");
        } else if (tag.local == "worksheetSource") {
            const char* sheet = tag.Attribute("sheet");
            const std::string* renamed = sheet ? renamer_.NewNameFor(sheet) : nullptr;
            if (renamed) {
                renamed_ = *renamed;
                EditTag(tag, "sheet");
            }
        }
    }
    void EndElement(const XmlTag& tag) override {
        if (!capturing_ || tag.depth != captureDepth_) return;
        capturing_ = false;
        if (tag.begin == tag.end || holdsElements_) return; // <f/>
        if (!renamer_.RenameInFormula(text_, renamed_)) return;
        std::string escaped;
        AppendXmlEscaped(escaped, renamed_);
        edits.push_back({contentBegin_, tag.begin, std::move(escaped)});
    }
    void Characters(std::string_view text) override {
        if (capturing_) text_.append(text);
    }

private:
    void EditTag(const XmlTag& tag, std::string_view attribute) {
        std::string_view raw = xml_.substr(tag.begin, tag.end - tag.begin);
        edits.push_back({tag.begin, tag.end, WithAttribute(raw, attribute, renamed_)});
    }

    const XlsxSheetRenamer& renamer_;
    std::string_view xml_;
    bool capturing_ = false, holdsElements_ = false;
    int captureDepth_ = 0;
    size_t contentBegin_ = 0;
    std::string text_, renamed_;
};

} // namespace

const std::string* XlsxSheetRenamer::NewNameFor(std::string_view oldName) const {
    for (const auto& [from, to] : renames_) {
        if (EqualsNoCase(from, oldName)) return &to;
    }
    return nullptr;
}

void XlsxSheetRenamer::AppendReference(std::string& out, std::string_view sheets) const {
    // "First:Last" names a range of sheets; each end is renamed on its own.
    size_t colon = sheets.find(':');
    std::string names[2];
    std::string_view parts[2] = {sheets.substr(0, colon), colon == std::string_view::npos
                                                              ? std::string_view()
                                                              : sheets.substr(colon + 1)};
    bool quote = false;
    for (int i = 0; i < (colon == std::string_view::npos ? 1 : 2); ++i) {
        const std::string* renamed = NewNameFor(parts[i]);
        names[i] = renamed ? *renamed : std::string(parts[i]);
        quote |= NeedsQuotes(names[i]);
    }
    std::string joined = colon == std::string_view::npos ? names[0] : names[0] + ":" + names[1];
    if (!quote) {
        out += joined;
        return;
    }
    out += '\'';
    for (char c : joined) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
}

bool XlsxSheetRenamer::NamesRenamed(std::string_view sheets) const {
    const size_t colon = sheets.find(':');
    const std::string_view first = sheets.substr(0, colon);
    const std::string_view last =
        colon == std::string_view::npos ? first : sheets.substr(colon + 1);
    return NewNameFor(first) || NewNameFor(last);
}

size_t XlsxSheetRenamer::RenameQuoted(std::string_view f, size_t i, std::string& out,
                                      bool& changed) const {
    // The name up to its closing quote, '' inside standing for one.
    std::string name;
    size_t end = i + 1;
    for (; end < f.size(); ++end) {
        if (f[end] == '\'') {
            if (end + 1 < f.size() && f[end + 1] == '\'') {
                name += '\'';
                ++end;
                continue;
            }
            break;
        }
        name += f[end];
    }
    const size_t after = std::min(end + 1, f.size());
    // A name holding "[" is another workbook's sheet.
    const bool reference =
        after < f.size() && f[after] == '!' && !name.empty() && name.find('[') == std::string::npos;
    if (reference && NamesRenamed(name)) {
        AppendReference(out, name);
        changed = true;
    } else {
        out.append(f.substr(i, after - i));
    }
    return after;
}

size_t XlsxSheetRenamer::RenameUnquoted(std::string_view f, size_t i, std::string& out,
                                        bool& changed) const {
    size_t end = i;
    while (end < f.size() && (IsFormulaNameChar(f[end]) || f[end] == ':'))
        ++end;
    const std::string_view run = f.substr(i, end - i);
    const bool reference = end < f.size() && f[end] == '!';
    if (reference && NamesRenamed(run)) {
        AppendReference(out, run);
        changed = true;
    } else {
        out.append(run);
    }
    return end;
}

bool XlsxSheetRenamer::RenameInFormula(std::string_view f, std::string& out) const {
    out.clear();
    bool changed = false;
    size_t i = 0;
    while (i < f.size()) {
        const char c = f[i];
        if (c == '"') { // a string literal, "" inside
            const size_t end = StringLiteralEnd(f, i);
            out.append(f.substr(i, end - i));
            i = end;
        } else if (c == '[') { // external book or structured reference: left alone
            const size_t end = BracketGroupEnd(f, i);
            out.append(f.substr(i, end - i));
            i = end;
            // An external book's sheet name follows; it is not one of ours.
            while (i < f.size() && (IsFormulaNameChar(f[i]) || f[i] == ':'))
                out += f[i++];
        } else if (c == '\'') {
            i = RenameQuoted(f, i, out, changed);
        } else if (IsFormulaNameChar(c) && (i == 0 || !IsFormulaNameChar(f[i - 1]))) {
            i = RenameUnquoted(f, i, out, changed);
        } else {
            out += c;
            ++i;
        }
    }
    return changed;
}

bool XlsxSheetRenamer::MayMention(std::string_view xml) const {
    // A cheap look before parsing the part: the longest run of letters and
    // digits of each old name reads the same however the part escapes it.
    for (const auto& [from, to] : renames_) {
        std::string_view key, run;
        for (size_t i = 0; i <= from.size(); ++i) {
            bool plain = i < from.size() && (std::isalnum(static_cast<unsigned char>(from[i])) ||
                                             static_cast<unsigned char>(from[i]) >= 0x80);
            if (plain) {
                run = std::string_view(from).substr(i - run.size(), run.size() + 1);
                continue;
            }
            if (run.size() > key.size()) key = run;
            run = {};
        }
        if (key.empty()) return true;
        auto it = std::search(xml.begin(), xml.end(), key.begin(), key.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
        if (it != xml.end()) return true;
    }
    return false;
}

bool XlsxSheetRenamer::RenameInPart(std::string_view xml, std::string& out,
                                    std::string& error) const {
    error.clear();
    if (!MayMention(xml)) return false;
    FormulaPartHandler handler(*this, xml);
    if (!XmlScanner::Scan(xml, handler, error)) return false;
    if (handler.edits.empty()) return false;
    out = ApplyEdits(xml, std::move(handler.edits));
    return true;
}

} // namespace vok
