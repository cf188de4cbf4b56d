#include "output/xlsx_new/XlsxNewWorkbook.h"

#include "base/AtomicFile.h"
#include "output/xlsx_new/SheetSpill.h"
#include "output/xlsx_new/XlsxNewParts.h"
#include "output/workbook/XlsxStyles.h"
#include "output/workbook/XmlText.h"
#include "output/xlsx_new/ZipWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

namespace vok {

namespace {

constexpr SheetLimits kLimits{XlsxNewWorkbook::kMaxRows, XlsxNewWorkbook::kMaxColumns};
// Room for ' ref="A1:XFD1048576"', the widest range, so that the extent
// stays in a slot of one width.
constexpr size_t kDimensionSlotWidth = 20;
// XML is written to the compressor in blocks of about this size.
constexpr size_t kBlock = 1 << 18;

void NoteFormat(std::vector<uint16_t>& formats, const CellValue& value) {
    if (value.type != CellValue::Type::Number || value.format == 0) return;
    if (std::find(formats.begin(), formats.end(), value.format) == formats.end())
        formats.push_back(value.format);
}

} // namespace

// The rows of one worksheet as XML, handed to the compressor a block at a time.
class XlsxNewWorkbook::RowsWriter {
public:
    RowsWriter(ZipWriter& zip, const std::vector<int32_t>& styles) : zip_(zip), styles_(styles) {
        out_.reserve(kBlock + 4096);
    }

    std::string& Out() { return out_; }

    bool Cell(int32_t row, int32_t column, const CellValue& value) {
        if (row != row_) {
            if (row_ != 0) out_ += "</row>";
            out_ += "<row r=\"";
            AppendDecimal(out_, row);
            out_ += "\">";
            row_ = row;
        }
        out_ += "<c r=\"";
        AppendCellReference(out_, row, column);
        out_ += '"';
        if (value.type == CellValue::Type::Number) {
            const int32_t style = value.format == 0 ? 0 : styles_[value.format];
            if (style > 0) {
                out_ += " s=\"";
                AppendDecimal(out_, style);
                out_ += '"';
            }
            out_ += "><v>";
            AppendXmlNumber(out_, value.number);
            out_ += "</v></c>";
        } else {
            out_ += " t=\"inlineStr\"><is><t";
            if (NeedsSpacePreserve(value.text)) out_ += " xml:space=\"preserve\"";
            out_ += '>';
            AppendXmlText(out_, value.text);
            out_ += "</t></is></c>";
        }
        return out_.size() < kBlock || Flush();
    }

    bool EndRows() {
        if (row_ != 0) out_ += "</row>";
        return true;
    }

    bool Flush() {
        const bool written = zip_.Write(out_);
        out_.clear();
        return written;
    }

private:
    ZipWriter& zip_;
    const std::vector<int32_t>& styles_;
    std::string out_;
    int32_t row_ = 0;
};

XlsxNewWorkbook::XlsxNewWorkbook(OnlyCreate, std::filesystem::path fileName, OutputType format)
    : fileName_(std::move(fileName)), macroEnabled_(format == OutputType::Xlsm),
      created_(std::time(nullptr)) {
    for (size_t i = 1; i <= kNewWorkbookSheets; ++i) {
        sheets_.emplace_back("Sheet" + std::to_string(i));
        streamed_.emplace_back();
    }
}

XlsxNewWorkbook::~XlsxNewWorkbook() = default;

WorkbookOpenResult XlsxNewWorkbook::Create(const std::filesystem::path& fileName,
                                           OutputType format) {
    WorkbookOpenResult result;
    auto workbook = std::make_unique<XlsxNewWorkbook>(OnlyCreate(), fileName, format);
    // The file beside the target is made now, so that a folder that takes
    // none is said before the job runs.
    std::string reason;
    workbook->first_ = std::make_unique<AtomicFile>(fileName, AtomicFile::Durability::Unsynced);
    if (!workbook->first_->CreateForLibrary(reason)) {
        result.error = fmt::format("Cannot create the workbook {}: {}.", fileName.string(), reason);
        return result;
    }
    result.workbook = std::move(workbook);
    return result;
}

std::string XlsxNewWorkbook::SheetName(int32_t sheet) const {
    return ValidSheet(sheet) ? sheets_[static_cast<size_t>(sheet - 1)].Name() : std::string();
}

bool XlsxNewWorkbook::SetSheetName(int32_t sheet, std::string_view name, std::string& error) {
    return ValidSheet(sheet) && NameSheet(sheets_, sheet, name, fileName_.string(), error);
}

bool XlsxNewWorkbook::AddSheet(std::string_view name, std::string& error) {
    if (!NameSheet(sheets_, SheetCount() + 1, name, fileName_.string(), error)) return false;
    streamed_.emplace_back();
    return true;
}

bool XlsxNewWorkbook::BringBack(size_t sheet) const {
    // The spilled rows first, then those in memory, into one sheet in memory.
    Streamed& streamed = streamed_[sheet];
    SheetData whole(sheets_[sheet].Name());
    const auto take = [&whole](int32_t row, int32_t column, const CellValue& value) {
        if (value.type == CellValue::Type::Number)
            whole.SetNumber(row, column, value.number, value.format);
        else if (value.type == CellValue::Type::Text)
            whole.SetText(row, column, value.text);
    };
    std::string why;
    if (streamed.spill && !streamed.spill->ForEachCell(take, why)) {
        failure_ = why;
        return false;
    }
    sheets_[sheet].ForEachCell(take);
    sheets_[sheet] = std::move(whole);
    streamed = Streamed();
    streamed.whole = true;
    return true;
}

bool XlsxNewWorkbook::Reach(size_t sheet, int32_t row) const {
    return row >= sheets_[sheet].FirstRow() || BringBack(sheet);
}

bool XlsxNewWorkbook::Spill(size_t sheet) {
    Streamed& streamed = streamed_[sheet];
    SheetData& data = sheets_[sheet];
    if (streamed.whole || streamed.lastRow - data.FirstRow() < 2 * kRowsKept) return true;
    if (!streamed.spill) {
        std::string why;
        streamed.spill = SheetSpill::Create(fileName_.parent_path(), why);
        // Without a temporary file the sheet stays in memory, as it always could.
        if (!streamed.spill) {
            streamed.whole = true;
            return true;
        }
    }
    data.TakeRowsBefore(streamed.lastRow - kRowsKept + 1,
                        [&](int32_t row, int32_t column, const CellValue& value) {
                            streamed.spill->Add(row, column, value);
                            streamed.extent.Include(row, column);
                            NoteFormat(streamed.formats, value);
                        });
    return streamed.spill->Flush(failure_);
}

CellWrite XlsxNewWorkbook::SetCellValue(int32_t sheet, int32_t row, int32_t column,
                                        std::string_view text) {
    if (!ValidSheet(sheet)) return CellWrite::NoSuchSheet;
    const size_t index = static_cast<size_t>(sheet - 1);
    if (row >= 1 && row <= kMaxRows && !Reach(index, row)) return CellWrite::OutputFailed;
    const CellWrite written =
        AssignTypedInput(sheets_[index], formats_, typed_, kLimits, row, column, text);
    if (written != CellWrite::Written) return written;
    Streamed& streamed = streamed_[index];
    streamed.lastRow = std::max(streamed.lastRow, row);
    return Spill(index) ? CellWrite::Written : CellWrite::OutputFailed;
}

std::string XlsxNewWorkbook::CellText(int32_t sheet, int32_t row, int32_t column) const {
    if (!ValidSheet(sheet) || row < 1) return {};
    const size_t index = static_cast<size_t>(sheet - 1);
    if (!Reach(index, row)) return {};
    return CellValueText(sheets_[index].Get(row, column));
}

CellRange XlsxNewWorkbook::UsedRange(int32_t sheet) const {
    if (!ValidSheet(sheet)) return {};
    const size_t index = static_cast<size_t>(sheet - 1);
    return Union(streamed_[index].extent, sheets_[index].UsedRange());
}

void XlsxNewWorkbook::ClearRange(int32_t sheet, const CellRange& range) {
    if (!ValidSheet(sheet) || range.Empty()) return;
    const size_t index = static_cast<size_t>(sheet - 1);
    if (!Reach(index, std::max(range.firstRow, 1))) return;
    sheets_[index].ClearRange(range);
}

bool XlsxNewWorkbook::Written(size_t sheet) const {
    // Sheets added to the workbook are written out whole, like changed ones.
    return sheet >= kNewWorkbookSheets || sheets_[sheet].Changed() || streamed_[sheet].spill;
}

std::vector<int32_t> XlsxNewWorkbook::CellStyles(XlsxStyles& styles) const {
    // A number format gets its cell format when first used, sheet after
    // sheet, row after row.
    std::vector<int32_t> byFormat(formats_.Size(), -1);
    std::vector<uint16_t> used;
    for (size_t s = 0; s < sheets_.size(); ++s) {
        used = streamed_[s].formats;
        sheets_[s].ForEachCell(
            [&](int32_t, int32_t, const CellValue& value) { NoteFormat(used, value); });
        for (const uint16_t format : used) {
            if (byFormat[format] < 0) byFormat[format] = styles.XfFor(0, formats_.Code(format));
        }
    }
    return byFormat;
}

bool XlsxNewWorkbook::WriteSheet(ZipWriter& zip, size_t sheet, const std::vector<int32_t>& styles,
                                 std::string& error) const {
    const std::string part = NewWorkbookSheetPart(sheet);
    const std::string_view blank = NewWorksheetTemplate(sheet);
    if (!Written(sheet)) return zip.AddPart(part, blank);
    // 1. Everything before the rows, the extent in a slot of fixed width.
    const Streamed& streamed = streamed_[sheet];
    const SheetData& data = sheets_[sheet];
    const CellRange extent = Union(streamed.extent, data.UsedRange());
    const uint64_t spilled = streamed.spill ? streamed.spill->Bytes() : 0;
    const uint64_t bound =
        8 * (spilled + data.TextBytes()) + 96 * static_cast<uint64_t>(data.CellCount()) + 4096;
    if (!zip.BeginPart(part, bound >= (uint64_t{1} << 32) - 1)) return false;
    const WorksheetFrame frame = FrameOf(blank);
    RowsWriter rows(zip, styles);
    std::string& out = rows.Out();
    out.append(frame.beforeDimension);
    std::string ref = " ref=\"";
    AppendRangeReference(ref, extent);
    ref += '"';
    out += "<dimension";
    out += ref;
    if (ref.size() < kDimensionSlotWidth) out.append(kDimensionSlotWidth - ref.size(), ' ');
    out += "/>";
    out.append(frame.beforeRows);
    out += extent.Empty() ? "<sheetData/>" : "<sheetData>";
    // 2. The rows: those spilled, then those in memory.
    bool written = true;
    const auto cell = [&](int32_t row, int32_t column, const CellValue& value) {
        written = written && rows.Cell(row, column, value);
    };
    if (streamed.spill && !streamed.spill->ForEachCell(cell, error)) return false;
    data.ForEachCell(cell);
    // 3. Everything after them.
    rows.EndRows();
    if (!extent.Empty()) out += "</sheetData>";
    out.append(frame.afterRows);
    return written && rows.Flush() && zip.EndPart();
}

bool XlsxNewWorkbook::WritePackage(ZipWriter& zip, std::string& error) const {
    // The styles: the default font, and a cell format for each number format.
    XlsxStyles styles;
    std::string why;
    if (!styles.Parse(std::string(kNewWorkbookStylesXml), why)) {
        error = "its styles cannot be made (" + why + ")";
        return false;
    }
    if (!standardFont_.empty()) styles.SetDefaultFontName(standardFont_);
    const std::vector<int32_t> cellStyles = CellStyles(styles);
    std::vector<std::string> names;
    for (const SheetData& sheet : sheets_)
        names.push_back(sheet.Name());
    // The parts in the order spreadsheet programs write them; sheets added
    // to the workbook come last.
    bool ok = zip.AddPart("[Content_Types].xml", NewContentTypesXml(names.size(), macroEnabled_)) &&
              zip.AddPart("_rels/.rels", kNewPackageRelationshipsXml) &&
              zip.AddPart("xl/_rels/workbook.xml.rels", NewWorkbookRelationshipsXml(names.size()));
    for (size_t s = 0; ok && s < kNewWorkbookSheets; ++s)
        ok = WriteSheet(zip, s, cellStyles, error);
    ok = ok && zip.AddPart("xl/workbook.xml", NewWorkbookXml(names)) &&
         zip.AddPart("xl/theme/theme1.xml", kNewWorkbookThemeXml) &&
         zip.AddPart("xl/styles.xml",
                     styles.Changed() ? styles.Patched() : std::string(kNewWorkbookStylesXml)) &&
         zip.AddPart("docProps/core.xml", NewCorePropertiesXml(created_)) &&
         zip.AddPart("docProps/app.xml", NewAppPropertiesXml(names));
    for (size_t s = kNewWorkbookSheets; ok && s < sheets_.size(); ++s)
        ok = WriteSheet(zip, s, cellStyles, error);
    ok = ok && zip.Finish();
    if (!ok && error.empty()) error = zip.Error();
    return ok;
}

bool XlsxNewWorkbook::WriteFile(AtomicFile& file, std::string& error) const {
    const int fd = ::open(file.TempPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        error = fmt::format("cannot write {} ({})", file.TempPath().string(), std::strerror(errno));
        return false;
    }
    bool written = false;
    {
        ZipWriter zip(fd);
        written = WritePackage(zip, error);
    }
    if (::close(fd) != 0 && written) {
        error = fmt::format("cannot write the workbook ({})", std::strerror(errno));
        written = false;
    }
    return written;
}

bool XlsxNewWorkbook::Save(std::string& error, const StopRequest* stop) {
    // The first save uses the file made when the workbook was; later ones a new one.
    std::unique_ptr<AtomicFile> file = std::move(first_);
    std::string reason;
    if (!file) {
        file = std::make_unique<AtomicFile>(fileName_, AtomicFile::Durability::Unsynced);
        if (!file->CreateForLibrary(reason)) {
            error = fmt::format("Cannot save the workbook {}: {}.", fileName_.string(), reason);
            return false;
        }
    }
    if (!WriteFile(*file, reason) || !file->Commit(reason, stop)) {
        error = fmt::format("Cannot save the workbook {}: {}.", fileName_.string(), reason);
        return false;
    }
    return true;
}

WorkbookOpenResult CreateXlsxWorkbook(const std::filesystem::path& fileName, OutputType format) {
    return XlsxNewWorkbook::Create(fileName, format);
}

} // namespace vok
