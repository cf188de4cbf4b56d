#include "output/xlsx/XlsxWorkbook.h"

#include "base/AtomicFile.h"
#include "output/xlsx/XlsxNewWorkbookWriter.h"
#include "output/xlsx/XlsxPackage.h"

#include <filesystem>
#include <fmt/format.h>
#include <system_error>

namespace vok {

namespace {

constexpr SheetLimits kLimits{XlsxWorkbook::kMaxRows, XlsxWorkbook::kMaxColumns};

// A new workbook of three empty sheets, written by libxlsxwriter into a
// temporary file beside the target. From then on it is read like an existing
// workbook: cells are streamed into its sheets by the engine's own writer,
// which is several times faster than libxlsxwriter's cell writing. It takes
// the target's name only when it is saved, so a job that writes nothing
// leaves no empty workbook behind.
bool CreateNew(AtomicFile& blank, std::string& reason) {
    return blank.CreateForLibrary(reason) &&
           XlsxNewWorkbookWriter::Write(blank.TempPath(), {"Sheet1", "Sheet2", "Sheet3"}, reason);
}

bool Covers(const CellRange& outer, const CellRange& inner) {
    return outer.firstRow <= inner.firstRow && outer.lastRow >= inner.lastRow &&
           outer.firstColumn <= inner.firstColumn && outer.lastColumn >= inner.lastColumn;
}

CellRange Union(const CellRange& a, const CellRange& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.firstRow, b.firstRow), std::min(a.firstColumn, b.firstColumn),
            std::max(a.lastRow, b.lastRow), std::max(a.lastColumn, b.lastColumn)};
}

} // namespace

XlsxWorkbook::XlsxWorkbook(OnlyOpen, std::filesystem::path fileName)
    : fileName_(std::move(fileName)) {}

XlsxWorkbook::~XlsxWorkbook() = default;

WorkbookOpenResult XlsxWorkbook::Open(const std::filesystem::path& fileName, OutputType format) {
    WorkbookOpenResult result;
    auto workbook = std::make_unique<XlsxWorkbook>(OnlyOpen(), fileName);

    // 1. A missing or empty file becomes a new workbook, saved at once.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_status status = fs::status(fileName, ec);
    bool missing =
        ec == std::errc::no_such_file_or_directory || status.type() == fs::file_type::not_found;
    if (!missing && ec) {
        result.error =
            fmt::format("Cannot open the workbook {}: {}.", fileName.string(), ec.message());
        return result;
    }
    if (!missing && fs::is_directory(status)) {
        result.error =
            fmt::format("Cannot open the workbook {}: it is a folder.", fileName.string());
        return result;
    }
    std::string reason;
    std::filesystem::path source = fileName;
    if (missing || (fs::is_regular_file(status) && fs::file_size(fileName, ec) == 0 && !ec)) {
        workbook->blank_ = std::make_unique<AtomicFile>(fileName, AtomicFile::Durability::Unsynced);
        if (!CreateNew(*workbook->blank_, reason)) {
            result.error =
                fmt::format("Cannot create the workbook {}: {}.", fileName.string(), reason);
            return result;
        }
        source = workbook->blank_->TempPath();
    }

    // 2. Read the workbook. Anything that is not one vok can read stays untouched.
    workbook->package_ = XlsxPackage::Open(source, workbook->sheets_, reason);
    if (!workbook->package_) {
        result.error = fmt::format("Cannot open the workbook {}: {}. The file was left unchanged.",
                                   fileName.string(), reason);
        return result;
    }
    if (workbook->blank_) {
        workbook->package_->WriteOnNextSave();
        if (format == OutputType::Xlsm) workbook->package_->MakeMacroEnabled();
    }
    result.workbook = std::move(workbook);
    return result;
}

std::string XlsxWorkbook::SheetName(int32_t sheet) const {
    return ValidSheet(sheet) ? sheets_[static_cast<size_t>(sheet - 1)].Name() : std::string();
}

bool XlsxWorkbook::SetSheetName(int32_t sheet, std::string_view name, std::string& error) {
    if (!ValidSheet(sheet)) {
        error = fmt::format("The workbook {} has no sheet {}.", fileName_.string(), sheet);
        return false;
    }
    size_t index = static_cast<size_t>(sheet - 1);
    std::string problem = SheetNameProblem(name, sheets_, index);
    if (!problem.empty()) {
        error = std::move(problem);
        return false;
    }
    sheets_[index].SetName(std::string(name));
    return true;
}

bool XlsxWorkbook::AddSheet(std::string_view name, std::string& error) {
    std::string problem = SheetNameProblem(name, sheets_, sheets_.size());
    if (!problem.empty()) {
        error = std::move(problem);
        return false;
    }
    sheets_.emplace_back(std::string(name));
    package_->AddSheet();
    return true;
}

CellWrite XlsxWorkbook::SetCellValue(int32_t sheet, int32_t row, int32_t column,
                                     std::string_view text) {
    if (!ValidSheet(sheet)) return CellWrite::NoSuchSheet;
    size_t index = static_cast<size_t>(sheet - 1);
    // A chart sheet has no cells to write.
    if (!package_->IsWorksheet(index)) return CellWrite::ChartSheet;
    return AssignTypedInput(sheets_[index], formats_, typed_, kLimits, row, column, text);
}

std::string XlsxWorkbook::CellText(int32_t sheet, int32_t row, int32_t column) const {
    if (!ValidSheet(sheet)) return {};
    return CellValueText(sheets_[static_cast<size_t>(sheet - 1)].Get(row, column));
}

void XlsxWorkbook::SetStandardFont(std::string_view name) {
    standardFont_ = std::string(name);
}

CellRange XlsxWorkbook::UsedRange(int32_t sheet) const {
    if (!ValidSheet(sheet)) return {};
    size_t index = static_cast<size_t>(sheet - 1);
    const SheetData& data = sheets_[index];
    CellRange used = data.UsedRange();
    // Cells of the file without a value (formatted only) count as used too,
    // until a clear has taken them away.
    const CellRange& extent = package_->FileExtent(index);
    bool cleared = false;
    for (const CellRange& r : data.ClearedRanges())
        cleared |= Covers(r, extent);
    return cleared ? used : Union(used, extent);
}

void XlsxWorkbook::ClearRange(int32_t sheet, const CellRange& range) {
    if (!ValidSheet(sheet)) return;
    sheets_[static_cast<size_t>(sheet - 1)].ClearRange(range);
}

bool XlsxWorkbook::Save(std::string& error, const StopRequest* stop) {
    std::string reason;
    bool saved = package_->Save(fileName_, sheets_, formats_, standardFont_, reason, stop);
    if (!saved) error = fmt::format("Cannot save the workbook {}: {}.", fileName_.string(), reason);
    // Once saved, the package reads the workbook in its place.
    if (saved) blank_.reset();
    return saved;
}

WorkbookOpenResult OpenXlsxWorkbook(const std::filesystem::path& fileName, OutputType format) {
    return XlsxWorkbook::Open(fileName, format);
}

} // namespace vok
