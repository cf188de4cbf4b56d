// The workbook connection: what the spreadsheet application offered the
// conversion, met by an embedded engine. A name ending in ".xls" (any case) is
// an Excel 97-2003 workbook, every other name an Office Open XML workbook.
//
// Sheets, rows and columns are 1-based. Assigning a cell is typed input: text
// that passes the program's numeric test becomes a number shown like the
// typed text; other text is stored as it stands. Reading a cell gives its
// value as text.
#pragma once

#include "base/StopRequest.h"
#include "output/OutputType.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vok {

enum class CellWrite {
    Written,
    BeyondLastRow,    // past the format's last row
    BeyondLastColumn, // past the format's last column
    NoSuchSheet,
    ChartSheet,   // the sheet is a chart sheet, which has no cells
    TextTooLong,  // more characters than a cell can hold (32,767)
    OutputFailed, // the output could not take the row; WriteFailure says why
};

struct CellRange {
    int32_t firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0; // all 0: empty
    bool Empty() const { return lastRow == 0; }
    // Grows the range to hold the cell (row and column from 1).
    void Include(int32_t row, int32_t column) {
        if (Empty()) {
            *this = {row, column, row, column};
            return;
        }
        firstRow = std::min(firstRow, row);
        lastRow = std::max(lastRow, row);
        firstColumn = std::min(firstColumn, column);
        lastColumn = std::max(lastColumn, column);
    }
};

// The smallest range holding both.
inline CellRange Union(const CellRange& a, const CellRange& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.firstRow, b.firstRow), std::min(a.firstColumn, b.firstColumn),
            std::max(a.lastRow, b.lastRow), std::max(a.lastColumn, b.lastColumn)};
}

class Workbook {
public:
    virtual ~Workbook() = default;

    virtual int32_t SheetCount() const = 0;
    virtual int32_t MaxRows() const = 0;
    virtual int32_t MaxColumns() const = 0;

    virtual std::string SheetName(int32_t sheet) const = 0;
    // False, with the reason, when the format forbids the name; the old name stays.
    virtual bool SetSheetName(int32_t sheet, std::string_view name, std::string& error) = 0;
    // Appends an empty worksheet; false, with the reason, when the format
    // forbids the name.
    virtual bool AddSheet(std::string_view name, std::string& error) = 0;

    virtual CellWrite SetCellValue(int32_t sheet, int32_t row, int32_t column,
                                   std::string_view text) = 0;
    virtual std::string CellText(int32_t sheet, int32_t row, int32_t column) const = 0;

    // The report line the cells of `row` on sheet 1 come from, told before
    // they are written: an output that keeps where its rows came from (a
    // database) stores it; a workbook has no place for it.
    virtual void SetRowSource(int32_t /*row*/, int64_t /*line*/) {}
    // Why a write gave CellWrite::OutputFailed.
    virtual std::string WriteFailure() const { return {}; }

    // The workbook's default font.
    virtual void SetStandardFont(std::string_view name) = 0;

    virtual CellRange UsedRange(int32_t sheet) const = 0;
    // Removes contents and formats of the cells in the range.
    virtual void ClearRange(int32_t sheet, const CellRange& range) = 0;

    // Writes the workbook to its file (temporary file and rename). False, with
    // the reason, when that failed; the earlier file is then intact. With
    // `stop`, an interrupt before the rename leaves the earlier file too.
    virtual bool Save(std::string& error, const StopRequest* stop = nullptr) = 0;
};

struct WorkbookOpenResult {
    std::unique_ptr<Workbook> workbook; // empty when the file could not be opened
    std::string error;                  // why, naming the file
};

// Opens the workbook file as the given type (never CSV), or creates a new one
// of three sheets "Sheet1", "Sheet2", "Sheet3" when the file is missing or
// empty; a new one is written under the name only when it is saved, so a
// job that writes nothing leaves nothing behind. A file that exists but is no
// workbook vok can read and keep is left untouched.
WorkbookOpenResult OpenWorkbookFile(const std::filesystem::path& fileName, OutputType type);

// True when the workbook is open in a spreadsheet program: a lock file beside it.
bool WorkbookIsLocked(const std::filesystem::path& fileName);

} // namespace vok
