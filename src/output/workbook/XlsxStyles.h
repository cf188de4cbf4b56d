// The styles part of an existing .xlsx workbook (xl/styles.xml), changed only
// where vok needs it: the font of the default style, and cell formats for the
// number formats of typed input. Everything else keeps its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vok {

struct XmlEdit;

class XlsxStyles {
public:
    bool Parse(std::string xml, std::string& error);

    // The font name of the default (Normal) style; "" when it names none.
    std::string DefaultFontName() const;
    // Changes that font's name (and unties it from the theme's font); nothing
    // changes when it already has the name.
    void SetDefaultFontName(std::string_view name);

    // The cell format (cellXfs index) that looks like `baseXf` but shows
    // numbers with `formatCode`. Adds the number format and the cell format
    // when the workbook has none like them yet.
    int32_t XfFor(int32_t baseXf, std::string_view formatCode);

    bool Changed() const { return fontChanged_ || !newXfs_.empty() || !newNumFmts_.empty(); }
    std::string Patched() const;

private:
    struct Range {
        bool present = false;
        size_t begin = 0, startEnd = 0, endBegin = 0, end = 0;
        bool SelfClosing() const { return endBegin == end; }
    };
    struct Font {
        size_t begin = 0, startEnd = 0;
        size_t nameBegin = 0, nameEnd = 0, schemeBegin = 0, schemeEnd = 0;
        bool hasName = false, hasScheme = false;
        std::string name;
    };
    struct Xf {
        size_t begin = 0, startEnd = 0, end = 0;
        int32_t numFmtId = 0;
    };
    friend class StylesHandler;

    int32_t NumFmtIdFor(std::string_view code);
    size_t DefaultFontIndex() const;
    std::string XfText(const Xf& xf) const;
    std::string Element(std::string_view local) const { return prefix_ + std::string(local); }
    // The edits of Patched, one kind each.
    void AddNumberFormats(std::vector<XmlEdit>& edits) const;
    void RenameDefaultFont(std::vector<XmlEdit>& edits) const;
    void AppendToList(std::vector<XmlEdit>& edits, const Range& list, std::string_view element,
                      const std::string& count, const std::string& items) const;

    std::string xml_;
    std::string prefix_;
    size_t styleSheetStartEnd_ = 0;
    Range numFmts_, cellXfs_;
    std::vector<std::pair<int32_t, std::string>> numFmtCodes_;
    std::vector<Font> fonts_;
    std::vector<int32_t> styleXfFonts_; // fontId of each cellStyleXfs entry
    int32_t normalStyleXf_ = 0;
    std::vector<Xf> xfs_;

    std::string newFontName_;
    bool fontChanged_ = false;
    std::vector<std::pair<int32_t, std::string>> newNumFmts_;
    std::vector<std::string> newXfs_;
    std::map<std::pair<int32_t, int32_t>, int32_t> xfCache_;
};

} // namespace vok
