// A new Office Open XML workbook (.xlsx, or .xlsm), written by the engine
// itself: no library beyond ISA-L's compressor. A sheet written row after
// row keeps only its last rows in memory; the rows before go to a temporary
// file as the sheet grows and into the workbook when it is saved, so that a
// workbook of a million rows needs no more memory than one of a thousand.
// Going back to a row that left memory (to write, read or clear it) brings
// the sheet back into memory whole, for the rest of the job: every use of
// the workbook works, only the memory grows as it did before.
#pragma once

#include "output/workbook/SheetData.h"
#include "output/typed_input/TypedInput.h"
#include "output/Workbook.h"

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vok {

class AtomicFile;
class SheetSpill;
class ZipWriter;

class XlsxNewWorkbook final : public Workbook {
    struct OnlyCreate {
        explicit OnlyCreate() = default;
    };

public:
    static constexpr int32_t kMaxRows = 1'048'576;
    static constexpr int32_t kMaxColumns = 16'384;
    // Rows a sheet keeps in memory behind the last one written, at least.
    static constexpr int32_t kRowsKept = 1024;

    XlsxNewWorkbook(OnlyCreate, std::filesystem::path fileName, OutputType format);
    ~XlsxNewWorkbook() override;

    // A workbook of three empty sheets that takes the place of `fileName`
    // (missing or empty) when it is saved. Fails, with the reason, when no
    // file can be made beside it.
    static WorkbookOpenResult Create(const std::filesystem::path& fileName, OutputType format);

    int32_t SheetCount() const override { return static_cast<int32_t>(sheets_.size()); }
    int32_t MaxRows() const override { return kMaxRows; }
    int32_t MaxColumns() const override { return kMaxColumns; }

    std::string SheetName(int32_t sheet) const override;
    bool SetSheetName(int32_t sheet, std::string_view name, std::string& error) override;
    bool AddSheet(std::string_view name, std::string& error) override;

    CellWrite SetCellValue(int32_t sheet, int32_t row, int32_t column,
                           std::string_view text) override;
    std::string CellText(int32_t sheet, int32_t row, int32_t column) const override;
    std::string WriteFailure() const override { return failure_; }

    void SetStandardFont(std::string_view name) override { standardFont_ = std::string(name); }

    CellRange UsedRange(int32_t sheet) const override;
    void ClearRange(int32_t sheet, const CellRange& range) override;

    bool Save(std::string& error, const StopRequest* stop = nullptr) override;

private:
    // What a sheet holds beyond its rows in memory.
    struct Streamed {
        std::unique_ptr<SheetSpill> spill; // rows before the sheet's FirstRow
        CellRange extent;                  // of the cells in the spill
        std::vector<uint16_t> formats;     // of its numbers, in the order first used
        int32_t lastRow = 0;               // the last row written
        bool whole = false;                // in memory for good: no more spilling
    };
    class RowsWriter;

    bool ValidSheet(int32_t sheet) const { return sheet >= 1 && sheet <= SheetCount(); }
    // Makes `row` of the sheet addressable; false (WriteFailure says why) when
    // its rows could not be read back.
    bool Reach(size_t sheet, int32_t row) const;
    bool BringBack(size_t sheet) const;
    // Moves the rows far behind the last one written out of memory.
    bool Spill(size_t sheet);
    bool Written(size_t sheet) const;
    std::vector<int32_t> CellStyles(class XlsxStyles& styles) const;
    bool WritePackage(ZipWriter& zip, std::string& error) const;
    bool WriteSheet(ZipWriter& zip, size_t sheet, const std::vector<int32_t>& styles,
                    std::string& error) const;
    bool WriteFile(AtomicFile& file, std::string& error) const;

    std::filesystem::path fileName_;
    bool macroEnabled_;
    std::time_t created_;
    mutable std::vector<SheetData> sheets_; // the rows in memory
    mutable std::vector<Streamed> streamed_;
    FormatTable formats_;
    TypedValue typed_; // reused for every assignment
    std::string standardFont_;
    mutable std::string failure_;
    // The file made beside the target when the workbook was created, for
    // its first save.
    std::unique_ptr<AtomicFile> first_;
};

WorkbookOpenResult CreateXlsxWorkbook(const std::filesystem::path& fileName, OutputType format);

} // namespace vok
