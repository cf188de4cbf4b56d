// Reading a worksheet part of an .xlsx workbook: its cell values into the
// sheet model, or the byte layout of its rows and cells for rewriting only the
// cells that changed.
#pragma once

#include "output/Workbook.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class SheetData;

struct XlsxCellSpan {
    int32_t column = 0;
    int32_t style = 0;          // the s attribute; 0 when absent
    size_t begin = 0, end = 0;  // the whole <c> element
    uint32_t formulaBegin = 0;  // the <f> element, relative to begin
    uint32_t formulaTagEnd = 0; // the end of its start tag
    uint32_t formulaEnd = 0;    // (all 0: no formula)
    int32_t sharedGroup = -1;   // si of a shared formula
    bool sharedMaster = false;  // holds the shared formula's text
    bool hasReference = false;  // carries its r attribute
    bool HasFormula() const { return formulaEnd != 0; }
};

struct XlsxRowSpan {
    int32_t row = 0;
    size_t begin = 0, startTagEnd = 0, end = 0;
    bool selfClosing = false;
    bool hasReference = false;
    size_t firstCell = 0, cellCount = 0; // into XlsxSheetLayout::cells
};

// The defining cell of a shared formula, whose text the other cells of the
// group take, moved to their own place.
struct XlsxSharedFormula {
    int32_t row = 0, column = 0;
    std::string text; // unescaped
};

// A formula that owns a range of cells as one: an array formula or a data table.
struct XlsxFormulaBlock {
    CellRange range;
    bool dataTable = false;
};

struct XlsxSheetLayout {
    std::string prefix; // namespace prefix of the sheet's elements ("" or "x:")
    bool hasSheetData = false;
    size_t sheetDataBegin = 0, sheetDataStartEnd = 0, sheetDataEndBegin = 0, sheetDataEnd = 0;
    bool hasDimension = false;
    size_t dimensionBegin = 0, dimensionStartEnd = 0, dimensionEnd = 0;
    std::vector<XlsxRowSpan> rows;
    std::vector<XlsxCellSpan> cells;
    std::map<int32_t, XlsxSharedFormula> sharedFormulas; // by si
    std::vector<XlsxFormulaBlock> formulaBlocks;
};

// A cell that holds a shared string, whose text is looked up once the sheet
// is read (only the strings the sheet uses are read from the table).
struct XlsxSharedCell {
    int32_t row = 0, column = 0;
    uint32_t index = 0;
};

// What reading a worksheet's values learns beyond them.
struct XlsxSheetSummary {
    bool hasFormulas = false;
    CellRange extent;                        // every <c> element, with or without a value
    std::vector<XlsxSharedCell> sharedCells; // in the sheet's order
};

class XlsxSheetReader {
public:
    // Loads the values (numbers, inline strings, formula results, booleans
    // as TRUE/FALSE, errors as their text) into `sheet`; the cells of shared
    // strings are listed in the summary.
    static bool ReadValues(std::string_view xml, SheetData& sheet, XlsxSheetSummary& summary,
                           std::string& error);
    static bool ReadLayout(std::string_view xml, XlsxSheetLayout& layout, std::string& error);
};

} // namespace vok
