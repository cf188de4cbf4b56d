// The cell table (ROW records, cell records, DBCELL records) of a sheet of an
// existing .xls workbook that vok writes into, rebuilt from the file's
// records and the sheet's edits.
//
// A cell record no edit reaches is kept as it stands (a LABELSST with its
// shared string's new index); a MULRK or MULBLANK row that is only partly
// edited is cut around the edited cells. An edited cell keeps its XF (its
// look) unless its range was cleared, taking only the number format of what
// was typed; a cell emptied by an edit keeps its look as a blank cell.
#pragma once

#include "output/workbook/SheetData.h"
#include "output/xls/Biff8Stream.h"
#include "output/xls/BiffRecordBuffer.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class Biff8CellFormats;
class Biff8SharedStrings;

class XlsCellTable {
public:
    XlsCellTable(std::string_view stream, const SheetData& sheet)
        : stream_(stream), sheet_(sheet) {}

    // Takes in one record of the sheet (depth 0): a ROW, DBCELL or cell
    // record; false for any other record, which the table leaves alone. A
    // malformed one sets `damaged`.
    bool Take(const biff8::Record& record, bool& damaged);

    // Adds the sheet's edited cells, with the XFs they need.
    void AddEdits(const FormatTable& formats, Biff8CellFormats& cellFormats);

    // The first cell (1-based) of `range` an edit writes; false when none does.
    bool FirstEditIn(const CellRange& range, int32_t& row, int32_t& column) const;

    // Old shared-string indexes of the kept LABELSST records.
    template <typename Visit> void ForEachKeptString(Visit&& visit) const;
    // Gives every new text its shared string.
    void AddTexts(Biff8SharedStrings& strings);

    // The cells the table holds (1-based); empty when none.
    CellRange Extent() const;
    // Rows with a ROW record or a cell (0-based), first and one past the last.
    uint32_t FirstRow() const { return rows_.empty() ? 0 : rows_.front().row; }
    uint32_t EndRow() const { return rows_.empty() ? 0 : rows_.back().row + 1u; }
    // How many DBCELL records Write makes when asked for them.
    size_t BlockCount() const { return (rows_.size() + kRowsPerBlock - 1) / kRowsPerBlock; }

    // Writes the table: blocks of rows with DBCELL records when `dbCells`,
    // whose positions it adds to `dbCellPositions`. `remap` gives each old
    // shared string its new index.
    void Write(BiffRecordBuffer& out, const std::vector<uint32_t>& remap, bool dbCells,
               std::vector<uint32_t>& dbCellPositions);

    // A LABELSST record of the file with its shared string's new index.
    static void WriteLabelSst(BiffRecordBuffer& out, const biff8::Record& record,
                              const std::vector<uint32_t>& remap);

private:
    static constexpr size_t kRowsPerBlock = 32;

    // A run of cells in one row: a kept record (or part of a MULRK or
    // MULBLANK record), or an edited cell.
    struct Piece {
        enum class Kind : uint8_t { Record, MulPart, Number, Text, Blank };
        uint16_t row;
        uint16_t first, last; // columns
        Kind kind;
        uint16_t xf;      // edited cells
        size_t source;    // Record, MulPart: the record's offset; Number: numbers_; Text: texts_
        uint32_t sst = 0; // Text: its shared string
    };
    struct Row {
        uint16_t row;
        size_t record;     // offset of its ROW record; kNoRecord when it has none
        size_t pieces = 0; // its pieces: pieces_[firstPiece, firstPiece + pieces)
        size_t firstPiece = 0;
    };
    static constexpr size_t kNoRecord = SIZE_MAX;

    void TakeCells(const biff8::Record& record, biff8::CellRecordKind kind,
                   const biff8::CellSpan& span);
    // True when an edit replaces or clears the file's cell, whose XF is `xf`.
    bool Edited(uint16_t row, uint16_t column, uint16_t xf);
    void AddEdit(uint16_t row, uint16_t column, const CellValue& value, const FormatTable& formats,
                 Biff8CellFormats& cellFormats);
    void GatherRows();
    void WriteRow(BiffRecordBuffer& out, const Row& row) const;
    void WritePiece(BiffRecordBuffer& out, const Piece& piece,
                    const std::vector<uint32_t>& remap) const;
    void WriteMulPart(BiffRecordBuffer& out, const Piece& piece) const;

    std::string_view stream_;
    const SheetData& sheet_;
    std::vector<Piece> pieces_;
    std::vector<std::pair<uint16_t, size_t>> rowRecords_; // row, ROW record offset
    // Cells an edit replaces that the file held, with their XF: row << 8 | column.
    std::vector<std::pair<uint32_t, uint16_t>> replaced_;
    std::vector<uint32_t> edited_; // every cell an edit writes, in order: row << 8 | column
    std::vector<double> numbers_;
    std::vector<std::string_view> texts_;
    std::vector<Row> rows_;
};

template <typename Visit> void XlsCellTable::ForEachKeptString(Visit&& visit) const {
    for (const Piece& piece : pieces_) {
        biff8::Record record;
        if (piece.kind == Piece::Kind::Record && biff8::ReadRecord(stream_, piece.source, record) &&
            record.id == biff8::kLabelSst) {
            visit(biff8::Le32(record.data, 6));
        }
    }
}

} // namespace vok
