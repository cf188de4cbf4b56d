// Reading the record stream of an .xls workbook (BIFF8): little-endian
// fields, one record at a time, and the records of one substream (the
// globals or a sheet, from its BOF to its EOF).
#pragma once

#include "output/xls/Biff8Records.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vok::biff8 {

inline uint16_t Le16(std::string_view data, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(data[offset]) |
                                 (static_cast<unsigned char>(data[offset + 1]) << 8));
}

inline uint32_t Le32(std::string_view data, size_t offset) {
    return Le16(data, offset) | (static_cast<uint32_t>(Le16(data, offset + 2)) << 16);
}

inline double LeDouble(std::string_view data, size_t offset) {
    const uint64_t bits =
        Le32(data, offset) | (static_cast<uint64_t>(Le32(data, offset + 4)) << 32);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

inline void PutLe16(std::string& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

struct Record {
    uint16_t id = 0;
    size_t offset = 0; // of its header in the stream
    std::string_view data;

    size_t End() const { return offset + 4 + data.size(); }
    // The header and the data, as they stand in `stream`.
    std::string_view Bytes(std::string_view stream) const {
        return stream.substr(offset, 4 + data.size());
    }
};

// The record whose header is at `offset`; false when the stream ends first.
inline bool ReadRecord(std::string_view stream, size_t offset, Record& record) {
    if (offset > stream.size() || stream.size() - offset < 4) return false;
    const size_t length = Le16(stream, offset + 2);
    if (stream.size() - offset - 4 < length) return false;
    record.id = Le16(stream, offset);
    record.offset = offset;
    record.data = stream.substr(offset + 4, length);
    return true;
}

// Visits the records of the substream whose BOF is at `begin`, its BOF and
// EOF included: visit(const Record&, int depth), depth 0 for the substream's
// own records and 1 or more inside the substreams nested in it (a chart in a
// sheet). Returns the offset after its EOF; npos when the stream ends first.
template <typename Visit>
size_t WalkSubstream(std::string_view stream, size_t begin, Visit&& visit) {
    int open = 0;
    Record record;
    for (size_t position = begin; ReadRecord(stream, position, record); position = record.End()) {
        if (record.id == kBof) ++open;
        visit(record, open - 1);
        if (record.id == kEof && --open <= 0) return record.End();
    }
    return std::string_view::npos;
}

// A string at `offset` of a record's data, with a character count of 8 bits
// (`shortCount`) or 16 and a flags byte, as UTF-8; false when it runs past
// the record.
bool ReadBiffString(std::string_view data, size_t offset, bool shortCount, std::string& utf8);

// The cells a record of a sheet's cell table describes: its row and its
// first and last column (0-based).
struct CellSpan {
    uint16_t row = 0;
    uint16_t first = 0;
    uint16_t last = 0;
};

enum class CellRecordKind { None, Single, MulRk, MulBlank };

inline CellRecordKind CellRecordKindOf(uint16_t id) {
    switch (id) {
    case kNumber:
    case kRk:
    case kLabelSst:
    case kLabel:
    case kBlank:
    case kBoolErr:
    case kRString:
    case kFormula:
        return CellRecordKind::Single;
    case kMulRk:
        return CellRecordKind::MulRk;
    case kMulBlank:
        return CellRecordKind::MulBlank;
    default:
        return CellRecordKind::None;
    }
}

// Bytes per cell of a MULRK (XF and RK) or MULBLANK (XF) record.
inline size_t MulCellSize(CellRecordKind kind) {
    return kind == CellRecordKind::MulRk ? 6 : 2;
}

// The cells of a record of kind `kind` (not None); false when the record is
// too short for them, its columns disagree or lie beyond the last column.
inline bool ReadCellSpan(CellRecordKind kind, const Record& record, CellSpan& span) {
    const std::string_view d = record.data;
    const size_t fixed = record.id == kNumber                         ? 14
                         : record.id == kRk || record.id == kLabelSst ? 10
                                                                      : 6;
    if (d.size() < fixed) return false;
    span.row = Le16(d, 0);
    span.first = span.last = Le16(d, 2);
    if (kind != CellRecordKind::Single) {
        // row, first column, the cells, last column
        const size_t cell = MulCellSize(kind);
        if ((d.size() - 6) % cell != 0 || d.size() < 6 + cell) return false;
        span.last = Le16(d, d.size() - 2);
        if (span.last < span.first || span.last - span.first + 1u != (d.size() - 6) / cell)
            return false;
    }
    return span.last < kColumns;
}

} // namespace vok::biff8
