// Rewrites a worksheet part of an existing .xlsx workbook so that it holds the
// sheet model's edits: touched cells are replaced, cells in cleared ranges are
// removed, and every other cell, row and element keeps its bytes.
#pragma once

#include "output/SheetData.h"
#include "output/Workbook.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vok {

class FormatTable;
class SheetData;
class XlsxStyles;
struct XlsxCellSpan;
struct XlsxRowSpan;
struct XlsxSheetLayout;

struct XlsxSheetPatch {
    std::string xml;
    bool formulaRemoved = false; // a formula left the sheet (the calculation chain is stale)
    CellRange extent;            // every <c> element of the new part
};

class XlsxSheetPatcher {
public:
    // `styles` (may be null) gives the cell formats for numbers typed with a format.
    XlsxSheetPatcher(const SheetData& sheet, const FormatTable& formats, XlsxStyles* styles)
        : sheet_(sheet), formats_(formats), styles_(styles) {}

    bool Patch(std::string_view original, XlsxSheetPatch& result, std::string& error);

private:
    bool RowNeedsRewrite(const XlsxSheetLayout& layout, const XlsxRowSpan& row) const;
    void CopyRow(const XlsxSheetLayout& layout, const XlsxRowSpan& row);
    void MergeRow(const XlsxSheetLayout& layout, int32_t row, const XlsxRowSpan* original);
    void EmitOriginal(const XlsxCellSpan& cell, int32_t row);
    void EmitNew(int32_t row, int32_t column, const CellValue& value, int32_t keptStyle);
    void Note(int32_t row, int32_t column);
    int32_t FormatStyle(int32_t baseStyle, uint16_t format);
    bool Orphaned(const XlsxCellSpan& cell) const;

    const SheetData& sheet_;
    const FormatTable& formats_;
    XlsxStyles* styles_;

    std::string_view original_;
    std::string prefix_;
    // The markup of new rows and cells, made once per part for its prefix.
    struct Tags {
        std::string rowOpen, rowClose, cellOpen, valueOpen, valueClose, inlineOpen, inlineClose;
    } tags_;
    std::string out_;
    std::set<int32_t> orphanedGroups_; // shared formulas whose defining cell is gone
    std::vector<std::pair<int32_t, CellValue>> touched_;
    XlsxSheetPatch* result_ = nullptr;
    std::vector<int32_t> plainStyles_; // by format index: the style on the default one
    std::map<std::pair<int32_t, uint16_t>, int32_t> otherStyles_;
};

} // namespace vok
