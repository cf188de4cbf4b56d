// An Office Open XML workbook (.xlsx, or .xlsm with macros). A new one is created through
// libxlsxwriter and saved at once; from then on, as for any existing one, the
// file is read through libzip and expat and saved by rewriting only the parts
// vok changed, so that everything else in it (other sheets, formulas, styles,
// charts, defined names) stays as it was.
#pragma once

#include "output/Workbook.h"
#include "output/xlsx/XlsxPackage.h"
#include "output/typed_input/TypedInput.h"
#include "output/workbook/SheetData.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vok {

class AtomicFile;

class XlsxWorkbook final : public Workbook {
    struct OnlyOpen { // lets Open, and nothing else, make one
        explicit OnlyOpen() = default;
    };

public:
    static constexpr int32_t kMaxRows = SheetLimitsOf(OutputType::Xlsx).maxRows;
    static constexpr int32_t kMaxColumns = SheetLimitsOf(OutputType::Xlsx).maxColumns;

    XlsxWorkbook(OnlyOpen, std::filesystem::path fileName);
    ~XlsxWorkbook() override;

    // Opens the file, or creates a new workbook of three sheets when the file
    // is missing or empty; the new one takes the file's place when saved. A
    // new one of `format` OutputType::Xlsm says it is macro-enabled, as
    // spreadsheet programs require of that extension.
    // `limits` say how much of an existing file is read at once.
    static WorkbookOpenResult Open(const std::filesystem::path& fileName,
                                   OutputType format = OutputType::Xlsx,
                                   const XlsxReadLimits& limits = {});

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
    std::string WriteFailure() const override { return readError_; }

private:
    bool ValidSheet(int32_t sheet) const { return sheet >= 1 && sheet <= SheetCount(); }
    // The cells of a valid sheet, read from the file on first use; null when
    // its part cannot be read (readError_ says why, and the save refuses).
    SheetData* Cells(int32_t sheet) const;

    std::filesystem::path fileName_;
    // A large sheet's cells are read only when it is first used, also by a
    // const member.
    mutable std::vector<SheetData> sheets_;
    mutable std::string readError_;
    FormatTable formats_;
    TypedValue typed_; // reused for every assignment
    std::string standardFont_;
    // A new workbook's first file, until it is saved in its place; it must
    // outlive the package that reads it.
    std::unique_ptr<AtomicFile> blank_;
    std::unique_ptr<XlsxPackage> package_;
};

WorkbookOpenResult OpenXlsxWorkbook(const std::filesystem::path& fileName,
                                    OutputType format = OutputType::Xlsx);

} // namespace vok
