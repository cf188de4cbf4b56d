#include "output/xls/XlsWorkbook.h"

#include "base/AtomicFile.h"
#include "base/modUtilityFile.h"
#include "output/workbook/Utf16Text.h"
#include "output/xls/Biff8Inspector.h"
#include "output/xls/Biff8Rewriter.h"
#include "output/xls/OleWorkbookFile.h"
#include "output/xls/XlsReader.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fmt/format.h>
#include <new>

namespace vok {

namespace {

constexpr size_t kMaxFontNameLength = 31;
constexpr SheetLimits kXlsLimits = SheetLimitsOf(OutputType::Xls);

std::vector<SheetData> NewSheets() {
    std::vector<SheetData> sheets;
    for (const char* name : {"Sheet1", "Sheet2", "Sheet3"})
        sheets.emplace_back(name);
    return sheets;
}

std::string CannotOpen(const std::filesystem::path& fileName, std::string_view reason) {
    return fmt::format("Cannot open the workbook {}: {}. The file was left unchanged.",
                       fileName.string(), reason);
}

// The sheets, formats and font of an existing workbook; an error naming the
// file when it cannot be read or cannot be rewritten without loss.
WorkbookOpenResult OpenExisting(const std::filesystem::path& fileName,
                                const std::filesystem::path& path) {
    WorkbookOpenResult result;
    std::string reason;
    // 1. The container and its record stream.
    OleWorkbookContents ole;
    if (!OleWorkbookFile::Read(path, ole, reason)) {
        result.error = CannotOpen(fileName, reason);
        return result;
    }
    if (!ole.hasWorkbookStream) {
        result.error =
            CannotOpen(fileName, ole.hasOldBookStream ? "it is an Excel 5.0/95 workbook, which vok "
                                                        "cannot rewrite"
                                                      : "it is not an Excel 97-2003 workbook");
        return result;
    }
    // 2. What writing into it would lose.
    Biff8Contents contents = Biff8Inspector::Inspect(ole.workbook);
    if (!contents.damage.empty()) {
        result.error = CannotOpen(fileName, contents.damage);
        return result;
    }
    std::vector<std::string> entries;
    for (const OleEntry& entry : ole.others)
        entries.push_back(entry.name);
    Biff8Inspector::InspectContainerEntries(entries, contents);
    if (contents.losses != 0) {
        result.error =
            fmt::format("The workbook {} holds {}, which vok cannot keep; the file "
                        "was left unchanged.",
                        fileName.string(), Biff8Inspector::DescribeLosses(contents.losses));
        return result;
    }
    // 3. The sheets and their values.
    std::vector<SheetData> sheets;
    FormatTable formats;
    if (!XlsReader::Read(contents, sheets, formats, reason)) {
        result.error = CannotOpen(fileName, reason);
        return result;
    }
    // 4. The rest of the file, kept for saving.
    auto file = std::make_unique<XlsFileContents>();
    file->workbook = std::move(ole.workbook);
    file->others = std::move(ole.others);
    file->rootClassId = ole.rootClassId;
    file->extents = std::move(contents.extents);
    result.workbook = std::make_unique<XlsWorkbook>(
        fileName, std::move(sheets), std::move(formats),
        contents.hasFont && !contents.font.name.empty() && contents.font.height > 0 ? contents.font
                                                                                    : XlsFont{},
        std::move(file));
    return result;
}

} // namespace

XlsWorkbook::XlsWorkbook(std::filesystem::path fileName)
    : XlsWorkbook(std::move(fileName), NewSheets(), FormatTable(), XlsFont{}, nullptr) {}

XlsWorkbook::XlsWorkbook(std::filesystem::path fileName, std::vector<SheetData> sheets,
                         FormatTable formats, XlsFont font, std::unique_ptr<XlsFileContents> file)
    : fileName_(std::move(fileName)), sheets_(std::move(sheets)), formats_(std::move(formats)),
      font_(std::move(font)), file_(std::move(file)) {}

std::string XlsWorkbook::SheetName(int32_t sheet) const {
    return ValidSheet(sheet) ? sheets_[sheet - 1].Name() : std::string();
}

std::string XlsWorkbook::SheetNameProblem(int32_t sheet, std::string_view name) const {
    std::string problem = vok::SheetNameProblem(name, sheets_, static_cast<size_t>(sheet - 1));
    // The file counts UTF-16 units: a character beyond U+FFFF takes two.
    if (problem.empty() && Utf16Length(name) > kMaxSheetNameLength) {
        problem = fmt::format("The sheet name \"{}\" is longer than the 31 characters a sheet "
                              "name holds.",
                              name);
    }
    return problem;
}

bool XlsWorkbook::SetSheetName(int32_t sheet, std::string_view name, std::string& error) {
    if (!ValidSheet(sheet)) {
        error = fmt::format("The workbook {} has no sheet {}.", fileName_.string(), sheet);
        return false;
    }
    error = SheetNameProblem(sheet, name);
    if (!error.empty()) return false;
    sheets_[sheet - 1].SetName(std::string(name));
    return true;
}

bool XlsWorkbook::AddSheet(std::string_view name, std::string& error) {
    sheets_.emplace_back();
    error = SheetNameProblem(SheetCount(), name);
    if (!error.empty()) {
        sheets_.pop_back();
        return false;
    }
    sheets_.back().SetName(std::string(name));
    return true;
}

CellWrite XlsWorkbook::SetCellValue(int32_t sheet, int32_t row, int32_t column,
                                    std::string_view text) {
    if (!ValidSheet(sheet)) return CellWrite::NoSuchSheet;
    // The file counts UTF-16 units, so a text within the character limit can
    // still be too long for it.
    if (text.size() > kMaxTextLength && Utf16Length(text) > kMaxTextLength) {
        return CellWrite::TextTooLong;
    }
    return AssignTypedInput(sheets_[sheet - 1], formats_, typed_, kXlsLimits, row, column, text);
}

std::string XlsWorkbook::CellText(int32_t sheet, int32_t row, int32_t column) const {
    return ValidSheet(sheet) ? CellValueText(sheets_[sheet - 1].Get(row, column)) : std::string();
}

void XlsWorkbook::SetStandardFont(std::string_view name) {
    // A font name the format cannot hold keeps the current font.
    if (name.empty() || Utf16Length(name) > kMaxFontNameLength) return;
    font_.name = std::string(name);
    standardFont_ = font_.name;
}

CellRange XlsWorkbook::UsedRange(int32_t sheet) const {
    if (!ValidSheet(sheet)) return {};
    const SheetData& data = sheets_[sheet - 1];
    CellRange used = data.UsedRange();
    // Cells of the file without a value (formatted blank ones) count too,
    // until a clear has taken them away.
    const auto index = static_cast<size_t>(sheet - 1);
    if (!file_ || index >= file_->extents.size() || file_->extents[index].Empty()) return used;
    const CellRange& extent = file_->extents[index];
    const auto& cleared = data.ClearedRanges();
    if (std::any_of(cleared.begin(), cleared.end(), [&](const CellRange& r) {
            return r.firstRow <= extent.firstRow && r.lastRow >= extent.lastRow &&
                   r.firstColumn <= extent.firstColumn && r.lastColumn >= extent.lastColumn;
        })) {
        return used;
    }
    used.Include(extent.firstRow, extent.firstColumn);
    used.Include(extent.lastRow, extent.lastColumn);
    return used;
}

void XlsWorkbook::ClearRange(int32_t sheet, const CellRange& range) {
    if (ValidSheet(sheet)) sheets_[sheet - 1].ClearRange(range);
}

bool XlsWorkbook::Save(std::string& error, const StopRequest* stop) {
    std::string reason;
    bool refused = false;
    try {
        if (file_ ? SaveIntoFile(reason, refused, stop) : SaveNew(reason, stop)) return true;
    } catch (const std::bad_alloc&) {
        reason = "there is not enough memory";
    } catch (const std::exception& e) {
        reason = e.what();
    }
    error = refused
                ? fmt::format("The workbook {} was left unchanged: {}.", fileName_.string(), reason)
                : fmt::format("Cannot save the workbook {}: {}. Any earlier file of that "
                              "name is unchanged.",
                              fileName_.string(), reason);
    return false;
}

bool XlsWorkbook::SaveNew(std::string& reason, const StopRequest* stop) {
    const std::string stream = Biff8Writer(sheets_, formats_, font_).Build();
    return OleWorkbookFile::Write(fileName_, stream, reason, stop);
}

bool XlsWorkbook::SaveIntoFile(std::string& reason, bool& refused, const StopRequest* stop) {
    // 1. The file's records with the edits; nothing is written when they
    //    would lose something of it.
    std::string stream;
    Biff8Rewriter rewriter(file_->workbook, sheets_, formats_, standardFont_);
    const auto outcome = rewriter.Build(stream, reason);
    refused = outcome == Biff8Rewriter::Outcome::Refused;
    if (outcome != Biff8Rewriter::Outcome::Written) return false;
    // 2. The container with its other entries as they were.
    if (!OleWorkbookFile::Write(fileName_, stream, file_->others, file_->rootClassId, reason,
                                stop))
        return false;
    // 3. From now on the saved file is the one edits go into.
    file_->extents.resize(sheets_.size());
    for (size_t i = 0; i < sheets_.size(); ++i) {
        if (rewriter.Rebuilt(i)) file_->extents[i] = rewriter.RebuiltExtent(i);
    }
    file_->workbook = std::move(stream);
    for (SheetData& sheet : sheets_)
        sheet.MarkUnchanged();
    return true;
}

WorkbookOpenResult OpenXlsWorkbook(const std::filesystem::path& fileName) {
    const std::filesystem::path& path = fileName;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        return {nullptr, CannotOpen(fileName, ec.message())};
    }
    const bool exists = std::filesystem::exists(status);
    if (exists && !std::filesystem::is_regular_file(status)) {
        return {nullptr, CannotOpen(fileName, "it is not a file")};
    }
    if (exists && std::filesystem::file_size(path, ec) != 0) return OpenExisting(fileName, path);

    // A missing or empty file becomes a new workbook, written when it is
    // saved. The folder must take the file: better said now than after the run.
    std::string reason;
    AtomicFile probe(fileName, AtomicFile::Durability::Unsynced);
    if (!probe.Create(reason)) {
        return {nullptr,
                fmt::format("Cannot create the workbook {}: {}.", fileName.string(), reason)};
    }
    return {std::make_unique<XlsWorkbook>(fileName), {}};
}

} // namespace vok
