#include "output/xls/Biff8Rewriter.h"

#include "output/workbook/Utf16Text.h"
#include "output/workbook/XmlText.h"
#include "output/xls/Biff8Writer.h"

#include <algorithm>
#include <fmt/format.h>

namespace vok {

namespace {

using namespace biff8;

constexpr size_t kNotFound = std::string_view::npos;
// SUPBOOK of the workbook's own sheets: their count, then this marker.
constexpr uint16_t kSelfReference = 0x0401;
// INDEX: reserved, first row, row after the last, DEFCOLWIDTH, then one
// DBCELL position each.
constexpr size_t kIndexFixed = 16;
constexpr size_t kMaxIndexSlots = (BiffRecordBuffer::kMaxRecordData - kIndexFixed) / 4;

// Records of a sheet's cell table, which an edited sheet's table replaces.
bool InCellTable(uint16_t id) {
    return id == kRow || id == kDbCell || CellRecordKindOf(id) != CellRecordKind::None;
}

std::string RangeText(const CellRange& range) {
    std::string text;
    AppendCellReference(text, range.firstRow, range.firstColumn);
    if (range.lastRow != range.firstRow || range.lastColumn != range.firstColumn) {
        text += ':';
        AppendCellReference(text, range.lastRow, range.lastColumn);
    }
    return text;
}

std::u16string Utf16(std::string_view utf8) {
    std::u16string units;
    AppendUtf16(units, utf8);
    return units;
}

} // namespace

Biff8Rewriter::Biff8Rewriter(std::string_view original, const std::vector<SheetData>& sheets,
                             const FormatTable& formats, std::string_view fontName)
    : original_(original), sheets_(sheets), formats_(formats), fontName_(fontName) {}

Biff8Rewriter::Outcome Biff8Rewriter::Build(std::string& stream, std::string& reason) {
    // 1. Where the globals hold what vok changes.
    if (!ReadGlobals() || sheets_.size() < fileSheets_) {
        reason = "it is damaged (its workbook globals are not what they seemed)";
        return Outcome::Damaged;
    }
    // 2. Each sheet; an edited one's cell table, and what its edits would lose.
    plans_.resize(sheets_.size());
    for (size_t i = 0; i < sheets_.size(); ++i) {
        if (!ReadSheet(i)) {
            reason = fmt::format("it is damaged (sheet {} is not what it seemed)", i + 1);
            return Outcome::Damaged;
        }
        for (const size_t tie : plans_[i].ties) {
            Record record;
            ReadRecord(original_, tie, record);
            reason = TieLost(i, record);
            if (!reason.empty()) return Outcome::Refused;
        }
    }
    // 3. The shared strings the cells keep, then those they add.
    if (!CollectStrings()) {
        reason = "it is damaged (its shared strings are not what they seemed)";
        return Outcome::Damaged;
    }
    // 4. The globals, then each sheet where the globals now say it is.
    positionFields_.assign(sheets_.size(), 0);
    WriteGlobals();
    for (size_t i = 0; i < sheets_.size(); ++i)
        WriteSheet(i);
    out_.PadTo(Biff8Writer::kMinimumStreamSize);
    stream = out_.TakeBytes();
    return Outcome::Written;
}

bool Biff8Rewriter::ReadGlobals() {
    size_t lastFormatEnd = kNew, lastXfEnd = kNew;
    const size_t end = WalkSubstream(original_, 0, [&](const Record& record, int depth) {
        if (depth != 0) return;
        OnGlobalsRecord(record);
        if (record.id == kFormat) lastFormatEnd = record.End();
        if (record.id == kXf) lastXfEnd = record.End();
        if (record.id == kBoundSheet) newSheetsAt_ = record.End();
    });
    if (end == kNotFound || boundSheets_.empty()) return false;
    // New XFs follow the last one (or come before the sheets), new formats
    // the last FORMAT (or come before the XFs).
    newXfsAt_ = lastXfEnd != kNew ? lastXfEnd : firstBoundSheetAt_;
    newFormatsAt_ = lastFormatEnd != kNew ? lastFormatEnd
                    : firstXfAt_ != kNew  ? firstXfAt_
                                          : newXfsAt_;
    fileSheets_ = boundSheets_.size();
    inSst_ = false;
    return true;
}

void Biff8Rewriter::OnGlobalsRecord(const Record& record) {
    const bool continuesSst = inSst_ && record.id == kContinue;
    inSst_ = record.id == kSst || continuesSst;
    if (record.id == kSst) sst_.assign(1, record.data);
    if (continuesSst) sst_.push_back(record.data);
    switch (record.id) {
    case kFont:
        if (firstFontAt_ == kNew) firstFontAt_ = record.offset;
        break;
    case kFormat:
        cellFormats_.AddFormatRecord(record.data);
        break;
    case kXf:
        if (firstXfAt_ == kNew) firstXfAt_ = record.offset;
        cellFormats_.AddXfRecord(record.data);
        break;
    case kBoundSheet:
        if (firstBoundSheetAt_ == kNew) firstBoundSheetAt_ = record.offset;
        if (record.data.size() >= 6) boundSheets_.push_back(record.offset);
        break;
    default:
        break;
    }
}

bool Biff8Rewriter::ReadSheet(size_t index) {
    SheetPlan& plan = plans_[index];
    const SheetData& sheet = sheets_[index];
    // A sheet vok added holds its edits and nothing else.
    if (index >= fileSheets_) {
        plan.table = std::make_unique<XlsCellTable>(original_, sheet);
        plan.table->AddEdits(formats_, cellFormats_);
        return true;
    }
    Record bound;
    ReadRecord(original_, boundSheets_[index], bound);
    plan.begin = Le32(bound.data, 0);
    if (sheet.Changed()) return ReadEditedSheet(plan, sheet);
    return WalkSubstream(original_, plan.begin, [&](const Record& record, int depth) {
               if (depth == 0 && record.id == kDbCell) ++plan.keptDbCells;
           }) != kNotFound;
}

bool Biff8Rewriter::ReadEditedSheet(SheetPlan& plan, const SheetData& sheet) {
    plan.table = std::make_unique<XlsCellTable>(original_, sheet);
    size_t firstCell = kNew, afterDimensions = kNew, window2 = kNew, eof = kNew;
    bool damaged = false;
    const size_t end = WalkSubstream(original_, plan.begin, [&](const Record& record, int depth) {
        if (depth != 0) return;
        if (plan.table->Take(record, damaged)) {
            if (firstCell == kNew) firstCell = record.offset;
            plan.dbCells |= record.id == kDbCell;
        } else if (record.id == kIndex) {
            plan.dbCells = true;
        } else if (record.id == kDimensions) {
            afterDimensions = record.End();
        } else if (record.id == kWindow2 && window2 == kNew) {
            window2 = record.offset;
        } else if (record.id == kEof) {
            eof = record.offset;
        } else if (record.id == kMergedCells || record.id == kHLink) {
            plan.ties.push_back(record.offset);
        }
    });
    if (end == kNotFound || damaged) return false;
    // The table goes where the file's was, else after DIMENSIONS, else
    // before WINDOW2 or the end.
    plan.tableAt = firstCell != kNew         ? firstCell
                   : afterDimensions != kNew ? afterDimensions
                   : window2 != kNew         ? window2
                                             : eof;
    plan.table->AddEdits(formats_, cellFormats_);
    return true;
}

std::string Biff8Rewriter::TieLost(size_t index, const Record& record) const {
    const XlsCellTable& table = *plans_[index].table;
    // MERGEDCELLS: a count, then the ranges; HLINK: its range, then the link.
    // A range is first row, last row, first column, last column (0-based).
    const bool merge = record.id == kMergedCells;
    const std::string_view d = record.data;
    const size_t first = merge ? 2 : 0;
    const size_t count = merge ? (d.size() >= 2 ? Le16(d, 0) : 0) : 1;
    for (size_t i = 0; i < count && first + 8 * i + 8 <= d.size(); ++i) {
        const size_t at = first + 8 * i;
        const CellRange range{Le16(d, at) + 1, Le16(d, at + 4) + 1, Le16(d, at + 2) + 1,
                              Le16(d, at + 6) + 1};
        int32_t row = 0, column = 0;
        // Clearing empties the cells and keeps the merge or the link over
        // them, as the .xlsx engine does; a value written into one would be
        // hidden by it, or take a link it was never meant to have.
        if (!table.FirstEditIn(range, row, column)) continue;
        // The user knows the sheet by the name the file gives it.
        Record bound;
        std::string name;
        ReadRecord(original_, boundSheets_[index], bound);
        ReadBiffString(bound.data, 6, true, name);
        std::string cell;
        AppendCellReference(cell, row, column);
        return fmt::format("writing cell {} of sheet \"{}\" would lose {} {}", cell, name,
                           merge ? "the merged cells" : "the hyperlink on", RangeText(range));
    }
    return {};
}

bool Biff8Rewriter::CollectStrings() {
    // 1. The strings that cells keep.
    std::vector<bool> used;
    uint32_t references = 0;
    if (!MarkKeptStrings(used, references)) return false;
    // 2. Those, in the table's order and with their runs, then the new texts.
    remap_.assign(used.size(), 0);
    uint32_t index = 0;
    const bool read = Biff8SharedStrings::Read(sst_, [&](const Biff8StoredString& stored) {
        if (index < used.size() && used[index]) remap_[index] = strings_.AddStored(stored);
        ++index;
    });
    if (!read || index < used.size()) return false;
    strings_.AddReferences(references);
    for (SheetPlan& plan : plans_) {
        if (plan.table) plan.table->AddTexts(strings_);
    }
    return true;
}

bool Biff8Rewriter::MarkKeptStrings(std::vector<bool>& used, uint32_t& references) const {
    // The table can hold no more strings than its bytes have room for.
    size_t bytes = 0;
    for (const std::string_view record : sst_)
        bytes += record.size();
    const size_t count =
        sst_.empty() || sst_[0].size() < 8 ? 0 : std::min<size_t>(Le32(sst_[0], 4), bytes / 3);
    bool ok = true;
    auto mark = [&](uint32_t string) {
        if (string >= count) {
            ok = false;
            return;
        }
        if (string >= used.size()) used.resize(string + 1);
        used[string] = true;
        ++references;
    };
    for (size_t i = 0; i < fileSheets_ && ok; ++i) {
        const SheetPlan& plan = plans_[i];
        if (plan.table) {
            plan.table->ForEachKeptString(mark);
            continue;
        }
        WalkSubstream(original_, plan.begin, [&](const Record& record, int depth) {
            if (depth == 0 && record.id == kLabelSst && record.data.size() >= 10)
                mark(Le32(record.data, 6));
        });
    }
    return ok;
}

void Biff8Rewriter::WriteGlobals() {
    WalkSubstream(original_, 0, [&](const Record& record, int depth) {
        // 1. What vok adds goes before the record after the last of its kind.
        if (record.offset == newFormatsAt_) cellFormats_.WriteNewFormats(out_);
        if (record.offset == newXfsAt_) cellFormats_.WriteNewXfs(out_);
        if (record.offset == newSheetsAt_) {
            for (size_t i = fileSheets_; i < sheets_.size(); ++i)
                WriteBoundSheet(i, {});
        }
        if (record.id == kEof && depth == 0 && !sstWritten_ && strings_.UniqueCount() > 0) {
            strings_.Write(out_);
            sstWritten_ = true;
        }
        // 2. The record, as it stands or as it must change.
        if (depth != 0) {
            out_.Raw(record.Bytes(original_));
        } else {
            WriteGlobalsRecord(record);
        }
    });
}

void Biff8Rewriter::WriteGlobalsRecord(const Record& record) {
    const bool continuesSst = inSst_ && record.id == kContinue;
    inSst_ = record.id == kSst || continuesSst;
    std::string name;
    switch (record.id) {
    case kSst:
        // The rebuilt table, with EXTSST, in place of the first one.
        if (!sstWritten_) strings_.Write(out_);
        sstWritten_ = true;
        return;
    case kExtSst:
        return;
    case kContinue:
        if (continuesSst) return;
        break;
    case kBoundSheet: {
        const auto at = std::find(boundSheets_.begin(), boundSheets_.end(), record.offset);
        if (at == boundSheets_.end()) break;
        WriteBoundSheet(static_cast<size_t>(at - boundSheets_.begin()), record.data);
        return;
    }
    case kFont:
        if (record.offset != firstFontAt_ || fontName_.empty() ||
            !ReadBiffString(record.data, 14, true, name) || name == fontName_) {
            break;
        }
        // The default font takes the new name and keeps everything else.
        out_.Begin(kFont);
        out_.Raw(record.data.substr(0, 14));
        out_.ShortUnicodeString(Utf16(fontName_));
        out_.End();
        return;
    case kSupBook:
        // The workbook's own sheets, counted.
        if (sheets_.size() == fileSheets_ || record.data.size() != 4 ||
            Le16(record.data, 2) != kSelfReference) {
            break;
        }
        out_.Begin(kSupBook);
        out_.U16(static_cast<uint16_t>(sheets_.size()));
        out_.U16(kSelfReference);
        out_.End();
        return;
    default:
        break;
    }
    out_.Raw(record.Bytes(original_));
}

void Biff8Rewriter::WriteBoundSheet(size_t index, std::string_view original) {
    out_.Begin(kBoundSheet);
    positionFields_[index] = out_.Size();
    out_.U32(0); // the sheet's BOF position, patched when it is written
    // Visible, hidden or very hidden; the kind of sheet.
    out_.U8(original.size() >= 6 ? static_cast<uint8_t>(original[4]) : 0);
    out_.U8(original.size() >= 6 ? static_cast<uint8_t>(original[5]) : 0);
    std::string name;
    if (original.size() >= 6 && ReadBiffString(original, 6, true, name) &&
        name == sheets_[index].Name()) {
        out_.Raw(original.substr(6));
    } else {
        out_.ShortUnicodeString(Utf16(sheets_[index].Name()));
    }
    out_.End();
}

void Biff8Rewriter::WriteSheet(size_t index) {
    out_.PatchU32(positionFields_[index], static_cast<uint32_t>(out_.Size()));
    SheetPlan& plan = plans_[index];
    if (plan.begin == kNew) {
        WriteNewSheet(index);
        return;
    }
    SheetPositions positions;
    WalkSubstream(original_, plan.begin, [&](const Record& record, int depth) {
        if (plan.table && record.offset == plan.tableAt)
            plan.table->Write(out_, remap_, plan.dbCells, positions.dbCells);
        if (depth != 0) {
            out_.Raw(record.Bytes(original_));
        } else {
            WriteSheetRecord(plan, record, positions);
        }
    });
    // INDEX: where DEFCOLWIDTH and the DBCELL records ended up.
    if (positions.indexAt == kNew) return;
    out_.PatchU32(positions.indexAt + 4 + 12, positions.defColWidth);
    for (size_t i = 0; i < std::min(positions.indexSlots, positions.dbCells.size()); ++i)
        out_.PatchU32(positions.indexAt + 4 + kIndexFixed + 4 * i, positions.dbCells[i]);
}

void Biff8Rewriter::WriteSheetRecord(SheetPlan& plan, const Record& record,
                                     SheetPositions& positions) {
    const bool edited = plan.table != nullptr;
    switch (record.id) {
    case kIndex:
        positions.indexAt = out_.Size();
        positions.indexSlots = WriteIndex(plan, record);
        return;
    case kDefColWidth:
        positions.defColWidth = static_cast<uint32_t>(out_.Size());
        break;
    case kDimensions:
        if (!edited) break;
        Biff8Writer::WriteDimensions(out_, plan.table->Extent());
        return;
    case kDbCell:
        if (!edited) positions.dbCells.push_back(static_cast<uint32_t>(out_.Size()));
        break;
    case kLabelSst:
        if (edited || record.data.size() < 10) break;
        XlsCellTable::WriteLabelSst(out_, record, remap_);
        return;
    default:
        break;
    }
    // An edited sheet's cell records are in its rebuilt table.
    if (edited && InCellTable(record.id)) return;
    out_.Raw(record.Bytes(original_));
}

size_t Biff8Rewriter::WriteIndex(const SheetPlan& plan, const Record& original) {
    const size_t blocks = std::min(!plan.table    ? plan.keptDbCells
                                   : plan.dbCells ? plan.table->BlockCount()
                                                  : 0,
                                   kMaxIndexSlots);
    out_.Begin(kIndex);
    out_.U32(0);
    if (plan.table) {
        out_.U32(plan.table->FirstRow());
        out_.U32(plan.table->EndRow());
    } else if (original.data.size() >= 12) {
        out_.Raw(original.data.substr(4, 8));
    } else {
        out_.U32(0), out_.U32(0);
    }
    out_.U32(0); // DEFCOLWIDTH, patched when the sheet is written
    for (size_t i = 0; i < blocks; ++i)
        out_.U32(0);
    out_.End();
    return blocks;
}

void Biff8Rewriter::WriteNewSheet(size_t index) {
    XlsCellTable& table = *plans_[index].table;
    Biff8Writer::WriteBof(out_, kBofWorksheet);
    Biff8Writer::WriteDimensions(out_, table.Extent());
    std::vector<uint32_t> unused;
    table.Write(out_, remap_, false, unused);
    Biff8Writer::WriteWindow2(out_, false);
    out_.Begin(kEof);
    out_.End();
}

} // namespace vok
