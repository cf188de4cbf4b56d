// Rewrites a worksheet part of an existing .xlsx workbook so that it holds the
// sheet model's edits: touched cells are replaced, cells in cleared ranges are
// removed, and every other cell, row and element keeps its bytes. Formula
// groups stay whole: when the defining cell of a shared formula is replaced,
// the other cells of the group get the formula as ordinary ones; an array
// formula or a data table is replaced whole or not at all.
#pragma once

#include "output/Workbook.h"
#include "output/workbook/SheetData.h"
#include "output/xlsx/XlsxSheetReader.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vok {

class FormatTable;
class XlsxStyles;

// What a rewrite learns of the new part before writing it.
struct XlsxSheetPatch {
    bool formulaRemoved = false; // a formula left the sheet (the calculation chain is stale)
    bool refused = false;        // the edits would break a formula group (Start says which)
    CellRange extent;            // every <c> element of the new part
};

// The rewrite runs twice over the rows: once to learn what the new part holds
// (its extent, which the part states before its rows, whether a formula
// leaves, which cell formats it needs), then to write it, a block at a time,
// so that a large sheet never stands in memory as a whole.
class XlsxSheetPatcher {
public:
    // `styles` (may be null) gives the cell formats for numbers typed with a format.
    XlsxSheetPatcher(const SheetData& sheet, const FormatTable& formats, XlsxStyles* styles)
        : sheet_(sheet), formats_(formats), styles_(styles) {}

    // Learns the new part of `original`, which must stay valid until the last
    // Next; false, with the reason, when the part is damaged or (Result's
    // `refused`) the edits would break a formula group.
    bool Start(std::string_view original, std::string& error);
    const XlsxSheetPatch& Result() const { return result_; }
    // The next block of the new part (at least kBlock bytes unless it is the
    // last); false once the part is complete.
    bool Next(std::string& block);

    static constexpr size_t kBlock = 1 << 18;

private:
    enum class Phase { Head, Rows, Done };

    // Handles the next row of the file or of the edits; false when none is left.
    bool NextRow();
    bool RowNeedsRewrite(const XlsxRowSpan& row) const;
    void CopyRow(const XlsxRowSpan& row);
    void MergeRow(int32_t row, const XlsxRowSpan* original);
    void EmitHead();
    void EmitTail();
    void EmitOriginal(const XlsxCellSpan& cell, int32_t row);
    void EmitNew(int32_t row, int32_t column, const CellValue& value, int32_t keptStyle);
    void Note(int32_t row, int32_t column);
    int32_t FormatStyle(int32_t baseStyle, uint16_t format);
    bool Orphaned(const XlsxCellSpan& cell) const;
    bool KeepsFormulaGroups(std::string& error);
    bool SharedFormulaMoves(std::string& error);
    // Where a formula group's range has cells the edits replace: none, all, or some.
    enum class Coverage { None, All, Some };
    Coverage CoverageOf(const CellRange& range) const;
    bool MovedFormula(const XlsxCellSpan& cell, int32_t row, std::string& formula) const;

    const SheetData& sheet_;
    const FormatTable& formats_;
    XlsxStyles* styles_;

    std::string_view original_;
    XlsxSheetLayout layout_;
    std::string prefix_;
    // The markup of new rows and cells, made once per part for its prefix.
    struct Tags {
        std::string rowOpen, rowClose, cellOpen, valueOpen, valueClose, inlineOpen, inlineClose;
    } tags_;
    std::string out_;
    bool emit_ = false;   // writing, not learning
    bool anyRow_ = false; // the new part has a row
    int64_t noted_ = 0;   // cells written (or, learning, that would be)
    Phase phase_ = Phase::Head;
    size_t next_ = 0;                  // the file's next row
    int32_t touchedRow_ = 0;           // the next row with edits; 0 when none
    std::set<int32_t> orphanedGroups_; // shared formulas whose defining cell is replaced
    std::string moved_;                // a group's formula moved to one of its cells
    std::vector<std::pair<int32_t, CellValue>> touched_;
    XlsxSheetPatch result_;
    std::vector<int32_t> plainStyles_; // by format index: the style on the default one
    std::map<std::pair<int32_t, uint16_t>, int32_t> otherStyles_;
};

} // namespace vok
