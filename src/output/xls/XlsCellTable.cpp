#include "output/xls/XlsCellTable.h"

#include "output/xls/Biff8CellFormats.h"
#include "output/xls/Biff8SharedStrings.h"
#include "output/xls/RkNumber.h"

#include <algorithm>

namespace vok {

namespace {

using namespace biff8;

constexpr size_t kRowRecordSize = 20; // header and data
constexpr uint16_t kRowXf = 15;       // a new row's format, used only when it says so

uint32_t CellKey(uint16_t row, uint16_t column) {
    return uint32_t{row} << 8 | column;
}

} // namespace

bool XlsCellTable::Take(const Record& record, bool& damaged) {
    if (record.id == kRow) {
        if (record.data.size() < kRowRecordSize - 4)
            damaged = true;
        else
            rowRecords_.emplace_back(Le16(record.data, 0), record.offset);
        return true;
    }
    if (record.id == kDbCell) return true; // made anew
    const CellRecordKind kind = CellRecordKindOf(record.id);
    if (kind == CellRecordKind::None) return false;
    CellSpan span;
    if (!ReadCellSpan(kind, record, span)) {
        damaged = true;
        return true;
    }
    TakeCells(record, kind, span);
    return true;
}

bool XlsCellTable::Edited(uint16_t row, uint16_t column, uint16_t xf) {
    const bool cleared = sheet_.InClearedRange(row + 1, column + 1);
    if (sheet_.Touched(row + 1, column + 1)) {
        // A replaced cell keeps its look unless its range was cleared.
        if (!cleared) replaced_.emplace_back(CellKey(row, column), xf);
        return true;
    }
    return cleared;
}

void XlsCellTable::TakeCells(const Record& record, CellRecordKind kind, const CellSpan& span) {
    if (kind == CellRecordKind::Single) {
        if (!Edited(span.row, span.first, Le16(record.data, 4)))
            pieces_.push_back(
                {span.row, span.first, span.first, Piece::Kind::Record, 0, record.offset});
        return;
    }
    // A MULRK or MULBLANK row: the runs of cells no edit reaches.
    const size_t cell = MulCellSize(kind);
    int32_t runStart = -1;
    for (uint16_t column = span.first; column <= span.last; ++column) {
        const uint16_t xf = Le16(record.data, 4 + cell * (column - span.first));
        const bool edited = Edited(span.row, column, xf);
        if (!edited && runStart < 0) runStart = column;
        if (runStart >= 0 && (edited || column == span.last)) {
            pieces_.push_back({span.row, static_cast<uint16_t>(runStart),
                               static_cast<uint16_t>(edited ? column - 1 : column),
                               Piece::Kind::MulPart, 0, record.offset});
            runStart = -1;
        }
    }
}

void XlsCellTable::AddEdits(const FormatTable& formats, Biff8CellFormats& cellFormats) {
    std::sort(replaced_.begin(), replaced_.end());
    for (int32_t row = sheet_.NextTouchedRow(1); row > 0; row = sheet_.NextTouchedRow(row + 1)) {
        sheet_.ForEachTouchedInRow(row, [&](int32_t column, const CellValue& value) {
            edited_.push_back(
                CellKey(static_cast<uint16_t>(row - 1), static_cast<uint16_t>(column - 1)));
            AddEdit(static_cast<uint16_t>(row - 1), static_cast<uint16_t>(column - 1), value,
                    formats, cellFormats);
        });
    }
    GatherRows();
}

void XlsCellTable::AddEdit(uint16_t row, uint16_t column, const CellValue& value,
                           const FormatTable& formats, Biff8CellFormats& cellFormats) {
    const uint32_t key = CellKey(row, column);
    const auto found =
        std::lower_bound(replaced_.begin(), replaced_.end(), std::pair<uint32_t, uint16_t>{key, 0});
    const bool held = found != replaced_.end() && found->first == key;
    const uint16_t look = held ? cellFormats.XfFor(found->second, "") : cellFormats.DefaultCellXf();
    const bool empty = value.type == CellValue::Type::Empty ||
                       (value.type == CellValue::Type::Text && value.text.empty());
    if (empty) {
        // An emptied cell keeps its look; one that never was is no record.
        if (held) pieces_.push_back({row, column, column, Piece::Kind::Blank, look, 0});
    } else if (value.type == CellValue::Type::Text) {
        pieces_.push_back({row, column, column, Piece::Kind::Text, look, texts_.size()});
        texts_.push_back(value.text);
    } else {
        const uint16_t xf = cellFormats.XfFor(look, formats.Code(value.format));
        pieces_.push_back({row, column, column, Piece::Kind::Number, xf, numbers_.size()});
        numbers_.push_back(value.number);
    }
}

void XlsCellTable::GatherRows() {
    std::stable_sort(pieces_.begin(), pieces_.end(), [](const Piece& a, const Piece& b) {
        return a.row != b.row ? a.row < b.row : a.first < b.first;
    });
    // The first ROW record of a row counts.
    std::stable_sort(rowRecords_.begin(), rowRecords_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    rows_.clear();
    size_t p = 0, r = 0;
    while (p < pieces_.size() || r < rowRecords_.size()) {
        const uint32_t pieceRow = p < pieces_.size() ? pieces_[p].row : UINT32_MAX;
        const uint32_t recordRow = r < rowRecords_.size() ? rowRecords_[r].first : UINT32_MAX;
        const auto row = static_cast<uint16_t>(std::min(pieceRow, recordRow));
        Row& entry = rows_.emplace_back(Row{row, kNoRecord, 0, p});
        if (recordRow == row) entry.record = rowRecords_[r].second;
        while (r < rowRecords_.size() && rowRecords_[r].first == row)
            ++r;
        while (p < pieces_.size() && pieces_[p].row == row) {
            ++p;
            ++entry.pieces;
        }
    }
}

bool XlsCellTable::FirstEditIn(const CellRange& range, int32_t& row, int32_t& column) const {
    if (range.Empty() || range.firstRow > range.lastRow) return false;
    const auto first = static_cast<uint32_t>(std::max(range.firstRow - 1, 0));
    for (auto it = std::lower_bound(edited_.begin(), edited_.end(), first << 8);
         it != edited_.end() && static_cast<int32_t>(*it >> 8) < range.lastRow; ++it) {
        const auto c = static_cast<int32_t>(*it & 0xFF) + 1;
        if (c >= range.firstColumn && c <= range.lastColumn) {
            row = static_cast<int32_t>(*it >> 8) + 1;
            column = c;
            return true;
        }
    }
    return false;
}

void XlsCellTable::AddTexts(Biff8SharedStrings& strings) {
    for (Piece& piece : pieces_) {
        if (piece.kind == Piece::Kind::Text) piece.sst = strings.Add(texts_[piece.source]);
    }
}

CellRange XlsCellTable::Extent() const {
    CellRange extent;
    for (const Row& row : rows_) {
        if (row.pieces == 0) continue;
        extent.Include(row.row + 1, pieces_[row.firstPiece].first + 1);
        for (size_t i = row.firstPiece; i < row.firstPiece + row.pieces; ++i)
            extent.Include(row.row + 1, pieces_[i].last + 1);
    }
    return extent;
}

void XlsCellTable::Write(BiffRecordBuffer& out, const std::vector<uint32_t>& remap, bool dbCells,
                         std::vector<uint32_t>& dbCellPositions) {
    std::vector<uint16_t> offsets;
    for (size_t block = 0; block < rows_.size(); block += kRowsPerBlock) {
        const size_t end = std::min(block + kRowsPerBlock, rows_.size());
        // 1. The block's ROW records, then the cells of its rows.
        const size_t blockStart = out.Size();
        for (size_t i = block; i < end; ++i)
            WriteRow(out, rows_[i]);
        // Each row's first cell: from the end of the first ROW record, then
        // from the previous row's first cell.
        offsets.clear();
        size_t previous = blockStart + kRowRecordSize;
        for (size_t i = block; i < end; ++i) {
            const Row& row = rows_[i];
            if (row.pieces == 0) continue;
            offsets.push_back(
                static_cast<uint16_t>(std::min<size_t>(out.Size() - previous, 0xFFFF)));
            previous = out.Size();
            for (size_t p = row.firstPiece; p < row.firstPiece + row.pieces; ++p)
                WritePiece(out, pieces_[p], remap);
        }
        // 2. The DBCELL record that finds them.
        if (!dbCells) continue;
        const size_t position = out.Size();
        dbCellPositions.push_back(static_cast<uint32_t>(position));
        out.Begin(kDbCell);
        out.U32(static_cast<uint32_t>(position - blockStart));
        for (const uint16_t offset : offsets)
            out.U16(offset);
        out.End();
    }
}

void XlsCellTable::WriteRow(BiffRecordBuffer& out, const Row& row) const {
    out.Begin(kRow);
    if (row.record == kNoRecord) {
        out.U16(row.row);
        out.U16(0), out.U16(0); // columns, set below
        out.U16(0x00FF);        // height in twips, fitted to the row's fonts
        out.U16(0), out.U16(0);
        out.U16(0x0100); // flags
        out.U16(kRowXf);
    } else {
        Record record;
        ReadRecord(stream_, row.record, record);
        out.Raw(record.data.substr(0, kRowRecordSize - 4));
    }
    if (row.pieces > 0) {
        // First column and one past the last.
        uint16_t last = 0;
        for (size_t p = row.firstPiece; p < row.firstPiece + row.pieces; ++p)
            last = std::max(last, pieces_[p].last);
        out.PatchU16(out.RecordStart() + 6, pieces_[row.firstPiece].first);
        out.PatchU16(out.RecordStart() + 8, static_cast<uint16_t>(last + 1));
    }
    out.End();
}

void XlsCellTable::WritePiece(BiffRecordBuffer& out, const Piece& piece,
                              const std::vector<uint32_t>& remap) const {
    Record record;
    switch (piece.kind) {
    case Piece::Kind::Record:
        ReadRecord(stream_, piece.source, record);
        if (record.id == kLabelSst)
            WriteLabelSst(out, record, remap);
        else
            out.Raw(record.Bytes(stream_));
        return;
    case Piece::Kind::MulPart:
        WriteMulPart(out, piece);
        return;
    case Piece::Kind::Text:
        out.Begin(kLabelSst);
        out.U16(piece.row), out.U16(piece.first), out.U16(piece.xf);
        out.U32(piece.sst);
        break;
    case Piece::Kind::Blank:
        out.Begin(kBlank);
        out.U16(piece.row), out.U16(piece.first), out.U16(piece.xf);
        break;
    case Piece::Kind::Number: {
        const double number = numbers_[piece.source];
        const auto rk = EncodeRk(number);
        out.Begin(rk ? kRk : kNumber);
        out.U16(piece.row), out.U16(piece.first), out.U16(piece.xf);
        if (rk)
            out.U32(*rk);
        else
            out.F64(number);
        break;
    }
    }
    out.End();
}

void XlsCellTable::WriteLabelSst(BiffRecordBuffer& out, const Record& record,
                                 const std::vector<uint32_t>& remap) {
    const uint32_t old = Le32(record.data, 6);
    out.Begin(kLabelSst);
    out.Raw(record.data.substr(0, 6));
    out.U32(old < remap.size() ? remap[old] : old);
    out.Raw(record.data.substr(10));
    out.End();
}

void XlsCellTable::WriteMulPart(BiffRecordBuffer& out, const Piece& piece) const {
    Record record;
    ReadRecord(stream_, piece.source, record);
    const CellRecordKind kind = CellRecordKindOf(record.id);
    const size_t cell = MulCellSize(kind);
    const size_t count = size_t{piece.last} - piece.first + 1;
    const size_t from = 4 + cell * (piece.first - Le16(record.data, 2));
    // One cell left of the row is an RK or BLANK record: row, column, then
    // the same bytes.
    const uint16_t single = kind == CellRecordKind::MulRk ? kRk : kBlank;
    out.Begin(count == 1 ? single : record.id);
    out.U16(piece.row), out.U16(piece.first);
    out.Raw(record.data.substr(from, cell * count));
    if (count > 1) out.U16(piece.last);
    out.End();
}

} // namespace vok
