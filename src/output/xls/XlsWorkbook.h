// An Excel 97-2003 workbook (.xls: BIFF8 in an OLE2 container) held in memory.
//
// Opening reads every sheet, its name and its cell values; a workbook that
// holds what vok cannot keep when it writes into it (formulas, charts,
// pictures, macros, a password, ...) is refused and left untouched, and so
// is a file that is no workbook. Saving a new workbook writes it whole;
// saving into an existing one keeps the file's records and entries and
// changes only what vok wrote (Biff8Rewriter). Either way the file is
// replaced through a temporary file.
#pragma once

#include "output/Workbook.h"
#include "output/typed_input/TypedInput.h"
#include "output/workbook/SheetData.h"
#include "output/xls/Biff8Writer.h"
#include "output/xls/OleWorkbookFile.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vok {

// What an existing file holds besides the cells vok reads, kept for saving.
struct XlsFileContents {
    std::string workbook;         // the record stream
    std::vector<OleEntry> others; // the container's other entries
    OleClassId rootClassId{};
    std::vector<CellRange> extents; // per sheet: every cell record, blank ones too
};

class XlsWorkbook : public Workbook {
public:
    static constexpr int32_t kMaxRows = SheetLimitsOf(OutputType::Xls).maxRows;
    static constexpr int32_t kMaxColumns = SheetLimitsOf(OutputType::Xls).maxColumns;
    static constexpr size_t kMaxTextLength = 32767; // UTF-16 code units
    static constexpr size_t kMaxSheetNameLength = 31;

    // A new workbook of the sheets "Sheet1", "Sheet2", "Sheet3", not yet saved.
    explicit XlsWorkbook(std::filesystem::path fileName);
    // An existing workbook: its sheets as read, and the rest of the file.
    XlsWorkbook(std::filesystem::path fileName, std::vector<SheetData> sheets, FormatTable formats,
                XlsFont font, std::unique_ptr<XlsFileContents> file);

    int32_t SheetCount() const override { return static_cast<int32_t>(sheets_.size()); }
    int32_t MaxRows() const override { return kMaxRows; }
    int32_t MaxColumns() const override { return kMaxColumns; }

    std::string SheetName(int32_t sheet) const override;
    bool SetSheetName(int32_t sheet, std::string_view name, std::string& error) override;
    bool AddSheet(std::string_view name, std::string& error) override;

    CellWrite SetCellValue(int32_t sheet, int32_t row, int32_t column,
                           std::string_view text) override;
    std::string CellText(int32_t sheet, int32_t row, int32_t column) const override;

    void SetStandardFont(std::string_view name) override;

    CellRange UsedRange(int32_t sheet) const override;
    void ClearRange(int32_t sheet, const CellRange& range) override;

    bool Save(std::string& error, const StopRequest* stop = nullptr) override;

private:
    // Why the format forbids the name for `sheet` (1-based); "" when it is allowed.
    std::string SheetNameProblem(int32_t sheet, std::string_view name) const;
    bool ValidSheet(int32_t sheet) const { return sheet >= 1 && sheet <= SheetCount(); }
    // Writes a new workbook whole; false, with the reason, when that failed.
    bool SaveNew(std::string& reason, const StopRequest* stop);
    // Writes the edits into the existing file; false, with the reason, when
    // that failed or would lose something of the file (`refused`).
    bool SaveIntoFile(std::string& reason, bool& refused, const StopRequest* stop);

    std::filesystem::path fileName_;
    std::vector<SheetData> sheets_;
    FormatTable formats_;
    XlsFont font_;
    std::string standardFont_;              // set by the run; "" keeps an existing file's
    std::unique_ptr<XlsFileContents> file_; // none for a new workbook
    TypedValue typed_;                      // reused for every assignment
};

// Opens the .xls file, or creates a new workbook (written when it is saved)
// when it is missing or empty. A file that cannot be read or kept is reported
// and left untouched.
WorkbookOpenResult OpenXlsWorkbook(const std::filesystem::path& fileName);

} // namespace vok
