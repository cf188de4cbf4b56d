// The cells of one worksheet held in memory, shared by both workbook engines.
//
// Rows are kept in a vector indexed by row; each row holds its cells sorted by
// column. Texts live in one arena per sheet, so a cell costs 16 bytes (plus
// its row's share) beyond its text. Number formats are interned per workbook
// (FormatTable).
#pragma once

#include "base/SheetNames.h"
#include "output/Workbook.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

struct TypedValue;

// Number format codes of a workbook; index 0 is General ("").
class FormatTable {
public:
    FormatTable() : codes_{std::string()} {}
    uint16_t Intern(std::string_view code);
    const std::string& Code(uint16_t index) const { return codes_[index]; }
    size_t Size() const { return codes_.size(); }

private:
    std::vector<std::string> codes_;
};

struct CellValue {
    enum class Type : uint8_t { Empty, Number, Text };
    Type type = Type::Empty;
    uint16_t format = 0;   // FormatTable index, numbers only
    double number = 0;     // Type::Number
    std::string_view text; // Type::Text: valid until the sheet changes
};

class SheetData {
public:
    explicit SheetData(std::string name = {}) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    void SetNumber(int32_t row, int32_t column, double value, uint16_t format);
    void SetText(int32_t row, int32_t column, std::string_view utf8);
    // Empties the cell's value (what assigning an empty text does).
    void ClearCell(int32_t row, int32_t column);
    // Removes the values in the range; remembered as cleared (contents and formats).
    void ClearRange(const CellRange& range);

    CellValue Get(int32_t row, int32_t column) const;
    CellRange UsedRange() const;
    int64_t CellCount() const;
    // Bytes of text the cells hold.
    size_t TextBytes() const { return arena_.size() - deadBytes_; }

    // Visits every non-empty cell in row order, then column order:
    // visit(row, column, const CellValue&).
    template <typename Visit> void ForEachCell(Visit&& visit) const;

    // True once a cell was set or cleared since loading (the engines rewrite
    // only sheets that changed).
    bool Changed() const { return changed_; }
    // Forgets the edits since loading: the file now holds what the sheet holds.
    void MarkUnchanged();

    // Edits since loading, for an engine that rewrites only the cells that
    // changed. A cell is touched once SetNumber, SetText or ClearCell reached it
    // (it may be empty now); ClearRange removes cells and records the range.
    bool Touched(int32_t row, int32_t column) const;
    const std::vector<CellRange>& ClearedRanges() const { return cleared_; }
    bool InClearedRange(int32_t row, int32_t column) const;
    // The first row at or after `row` holding a touched cell; 0 when none.
    int32_t NextTouchedRow(int32_t row) const;
    // Visits the touched cells of one row in column order, also those now
    // empty: visit(column, const CellValue&).
    template <typename Visit> void ForEachTouchedInRow(int32_t row, Visit&& visit) const;

    // Hands the rows before `row` over, in row order, and forgets them: a
    // sheet written to a file as it grows keeps only its last rows in
    // memory. visit(row, column, const CellValue&) sees every non-empty cell
    // (in column order); the rows before `row` can no longer be addressed.
    template <typename Visit> void TakeRowsBefore(int32_t row, Visit&& visit);
    // The first row the sheet can hold (1 until rows were taken).
    int32_t FirstRow() const { return firstRow_; }

private:
    // A text is `length` bytes at arena offset (offsetHigh << 32) | offsetLow.
    struct TextRef {
        uint32_t offsetLow;
        uint32_t length;
    };
    // 16 bytes.
    struct Entry {
        uint16_t column;
        CellValue::Type type;
        uint8_t touched;
        uint16_t format;
        uint16_t offsetHigh;
        union {
            double number;
            TextRef text;
        };
    };
    static_assert(sizeof(Entry) == 16);

    const Entry* Find(int32_t row, int32_t column) const;
    Entry& Slot(int32_t row, int32_t column);
    CellValue ToValue(const Entry& e) const;
    void ReleaseText(const Entry& e);
    void StoreText(Entry& e, std::string_view utf8);
    void CompactArena();

    std::string name_;
    void ReleaseTakenRows(size_t count);

    std::vector<std::vector<Entry>> rows_; // rows_[row - firstRow_]
    int32_t firstRow_ = 1;
    std::string arena_;
    size_t deadBytes_ = 0; // arena bytes no cell refers to any more
    size_t rowWidth_ = 1;  // cells of the row written last, for the next one's room
    std::vector<CellRange> cleared_;
    bool changed_ = false;
};

template <typename Visit> void SheetData::ForEachCell(Visit&& visit) const {
    for (size_t r = 0; r < rows_.size(); ++r) {
        for (const Entry& e : rows_[r]) {
            if (e.type == CellValue::Type::Empty) continue;
            visit(static_cast<int32_t>(r) + firstRow_, static_cast<int32_t>(e.column), ToValue(e));
        }
    }
}

template <typename Visit> void SheetData::ForEachTouchedInRow(int32_t row, Visit&& visit) const {
    if (row < firstRow_ || static_cast<size_t>(row - firstRow_) >= rows_.size()) return;
    for (const Entry& e : rows_[static_cast<size_t>(row - firstRow_)]) {
        if (e.touched) visit(static_cast<int32_t>(e.column), ToValue(e));
    }
}

template <typename Visit> void SheetData::TakeRowsBefore(int32_t row, Visit&& visit) {
    if (row <= firstRow_) return;
    const size_t count = std::min(rows_.size(), static_cast<size_t>(row - firstRow_));
    for (size_t r = 0; r < count; ++r) {
        for (const Entry& e : rows_[r]) {
            if (e.type == CellValue::Type::Empty) continue;
            visit(static_cast<int32_t>(r) + firstRow_, static_cast<int32_t>(e.column), ToValue(e));
        }
    }
    ReleaseTakenRows(count);
    firstRow_ = row;
}

// A cell's value as a spreadsheet gives it as text: a number as a plain
// decimal number (1234.5, 1200, -12), a text as it stands, "" when empty.
std::string CellValueText(const CellValue& value);

// Assigns a cell as typed input (the part of Workbook::SetCellValue both
// engines share): checks the limits, then stores a number with its interned
// format, a text, or empties the cell. `scratch` is a buffer the caller reuses.
CellWrite AssignTypedInput(SheetData& sheet, FormatTable& formats, TypedValue& scratch,
                           const SheetLimits& limits, int32_t row, int32_t column,
                           std::string_view text);

// Why `name` cannot name sheet `index` (0-based) among `sheets`; "" when it can.
// 1 to 31 characters, none of : \ / ? * [ ], no apostrophe first or last,
// unique ignoring case, and not "History".
std::string SheetNameProblem(std::string_view name, const std::vector<SheetData>& sheets,
                             size_t index);

// Renames sheet `sheet` (1-based) of `sheets`, or appends a sheet of that
// name when `sheet` is one past the last; false, with the reason, when there
// is no such sheet or the name may not name it (the sheets stay as they were).
bool NameSheet(std::vector<SheetData>& sheets, int32_t sheet, std::string_view name,
               std::string_view workbook, std::string& error);

} // namespace vok
