#include "output/xlsx/XlsxWorkbook.h"

#include "base/AtomicFile.h"
#include "output/xlsx/XlsxNewWorkbookWriter.h"
#include "output/xlsx/XlsxPackage.h"

#include <filesystem>
#include <fmt/format.h>
#include <system_error>

namespace vok {

namespace {

constexpr SheetLimits kLimits = SheetLimitsOf(OutputType::Xlsx);

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

} // namespace

XlsxWorkbook::XlsxWorkbook(OnlyOpen, std::filesystem::path fileName)
    : fileName_(std::move(fileName)) {}

XlsxWorkbook::~XlsxWorkbook() = default;

WorkbookOpenResult XlsxWorkbook::Open(const std::filesystem::path& fileName, OutputType format,
                                      const XlsxReadLimits& limits) {
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
    workbook->package_ = XlsxPackage::Open(source, workbook->sheets_, reason, limits);
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
    return ValidSheet(sheet) && NameSheet(sheets_, sheet, name, fileName_.string(), error);
}

bool XlsxWorkbook::AddSheet(std::string_view name, std::string& error) {
    if (!NameSheet(sheets_, SheetCount() + 1, name, fileName_.string(), error)) return false;
    package_->AddSheet();
    return true;
}

SheetData* XlsxWorkbook::Cells(int32_t sheet) const {
    const size_t index = static_cast<size_t>(sheet - 1);
    SheetData& data = sheets_[index];
    if (package_->IsRead(index)) return &data;
    // After a failure the save is refused anyway: no sheet is read again.
    if (!readError_.empty()) return nullptr;
    std::string reason;
    if (package_->ReadSheet(index, data, reason)) return &data;
    readError_ = reason;
    return nullptr;
}

CellWrite XlsxWorkbook::SetCellValue(int32_t sheet, int32_t row, int32_t column,
                                     std::string_view text) {
    if (!ValidSheet(sheet)) return CellWrite::NoSuchSheet;
    size_t index = static_cast<size_t>(sheet - 1);
    // A chart sheet has no cells to write.
    if (!package_->IsWorksheet(index)) return CellWrite::ChartSheet;
    SheetData* cells = Cells(sheet);
    if (!cells) return CellWrite::OutputFailed;
    return AssignTypedInput(*cells, formats_, typed_, kLimits, row, column, text);
}

std::string XlsxWorkbook::CellText(int32_t sheet, int32_t row, int32_t column) const {
    const SheetData* cells = ValidSheet(sheet) ? Cells(sheet) : nullptr;
    return cells ? CellValueText(cells->Get(row, column)) : std::string();
}

void XlsxWorkbook::SetStandardFont(std::string_view name) {
    standardFont_ = std::string(name);
}

CellRange XlsxWorkbook::UsedRange(int32_t sheet) const {
    const SheetData* cells = ValidSheet(sheet) ? Cells(sheet) : nullptr;
    if (!cells) return {};
    const SheetData& data = *cells;
    const size_t index = static_cast<size_t>(sheet - 1);
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
    SheetData* cells = ValidSheet(sheet) ? Cells(sheet) : nullptr;
    if (cells) cells->ClearRange(range);
}

bool XlsxWorkbook::Save(std::string& error, const StopRequest* stop) {
    // A sheet that could not be read cannot take the job's cells.
    if (!readError_.empty()) {
        error = fmt::format("Cannot save the workbook {}: {}.", fileName_.string(), readError_);
        return false;
    }
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
