#include "output/workbook/SheetData.h"

#include "base/NumericText.h"
#include "base/TextEncoding.h"
#include "output/typed_input/TypedInput.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace vok {

namespace {

// Compaction pays off only once a fair share of the arena is garbage.
constexpr size_t kMinDeadBytesToCompact = 64 * 1024;

// Cells the row table can address (columns are kept in 16 bits).
bool Addressable(int32_t row, int32_t column) {
    return row >= 1 && column >= 1 && column <= std::numeric_limits<uint16_t>::max();
}

} // namespace

uint16_t FormatTable::Intern(std::string_view code) {
    if (code.empty()) return 0;
    for (size_t i = codes_.size(); i-- > 1;) {
        if (codes_[i] == code) return static_cast<uint16_t>(i);
    }
    // A workbook holds a few dozen formats; past 65,535 the last one is reused
    // rather than overflowing the index.
    if (codes_.size() > std::numeric_limits<uint16_t>::max()) {
        return std::numeric_limits<uint16_t>::max();
    }
    codes_.emplace_back(code);
    return static_cast<uint16_t>(codes_.size() - 1);
}

const SheetData::Entry* SheetData::Find(int32_t row, int32_t column) const {
    if (row < firstRow_ || static_cast<size_t>(row - firstRow_) >= rows_.size()) return nullptr;
    const std::vector<Entry>& cells = rows_[static_cast<size_t>(row - firstRow_)];
    auto it = std::lower_bound(cells.begin(), cells.end(), column,
                               [](const Entry& e, int32_t c) { return e.column < c; });
    if (it == cells.end() || it->column != column) return nullptr;
    return &*it;
}

SheetData::Entry& SheetData::Slot(int32_t row, int32_t column) {
    changed_ = true;
    size_t index = static_cast<size_t>(row - firstRow_);
    if (index >= rows_.size()) {
        // Grow by a quarter rather than doubling: a sheet of one column should
        // not pay twice for its row table.
        if (index >= rows_.capacity()) rows_.reserve(index + 1 + rows_.size() / 4 + 16);
        rows_.resize(index + 1);
    }
    std::vector<Entry>& cells = rows_[index];
    Entry fresh{};
    fresh.column = static_cast<uint16_t>(column);
    // Rows are mostly written left to right, and a table's rows are alike: a
    // new row gets room for as many cells as the last one written, and cells
    // are appended without searching.
    if (cells.empty()) cells.reserve(rowWidth_);
    if (cells.empty() || cells.back().column < column) {
        cells.push_back(fresh);
        rowWidth_ = std::max<size_t>(cells.size(), 1);
        return cells.back();
    }
    auto it = std::lower_bound(cells.begin(), cells.end(), column,
                               [](const Entry& e, int32_t c) { return e.column < c; });
    if (it != cells.end() && it->column == column) return *it;
    return *cells.insert(it, fresh);
}

CellValue SheetData::ToValue(const Entry& e) const {
    CellValue v;
    v.type = e.type;
    if (e.type == CellValue::Type::Number) {
        v.number = e.number;
        v.format = e.format;
    } else if (e.type == CellValue::Type::Text) {
        size_t offset = (static_cast<size_t>(e.offsetHigh) << 32) | e.text.offsetLow;
        v.text = std::string_view(arena_).substr(offset, e.text.length);
    }
    return v;
}

void SheetData::ReleaseText(const Entry& e) {
    if (e.type == CellValue::Type::Text) deadBytes_ += e.text.length;
}

void SheetData::StoreText(Entry& e, std::string_view utf8) {
    size_t offset = arena_.size();
    size_t length = std::min<size_t>(utf8.size(), std::numeric_limits<uint32_t>::max());
    if (offset + length > arena_.capacity()) {
        // The texts are most of a large sheet's memory: the arena grows by a
        // quarter at a time, not by doubling. A text from the arena itself
        // moves with it.
        const std::less<const char*> before;
        const char* base = arena_.data();
        const bool inside = !before(utf8.data(), base) && before(utf8.data(), base + offset);
        const size_t from = inside ? static_cast<size_t>(utf8.data() - base) : 0;
        arena_.reserve(offset + length + offset / 4 + 4096);
        if (inside) utf8 = std::string_view(arena_.data() + from, length);
    }
    arena_.append(utf8.data(), length);
    e.type = CellValue::Type::Text;
    e.format = 0;
    e.offsetHigh = static_cast<uint16_t>(offset >> 32);
    e.text.offsetLow = static_cast<uint32_t>(offset);
    e.text.length = static_cast<uint32_t>(length);
}

void SheetData::CompactArena() {
    std::string packed;
    packed.reserve(arena_.size() - deadBytes_);
    for (std::vector<Entry>& cells : rows_) {
        for (Entry& e : cells) {
            if (e.type != CellValue::Type::Text) continue;
            std::string_view text = ToValue(e).text;
            size_t offset = packed.size();
            packed.append(text);
            e.offsetHigh = static_cast<uint16_t>(offset >> 32);
            e.text.offsetLow = static_cast<uint32_t>(offset);
        }
    }
    arena_.swap(packed);
    deadBytes_ = 0;
}

void SheetData::SetNumber(int32_t row, int32_t column, double value, uint16_t format) {
    if (!Addressable(row, column) || row < firstRow_) return;
    Entry& e = Slot(row, column);
    ReleaseText(e);
    e.type = CellValue::Type::Number;
    e.touched = 1;
    e.format = format;
    e.number = value;
}

void SheetData::SetText(int32_t row, int32_t column, std::string_view utf8) {
    if (!Addressable(row, column) || row < firstRow_) return;
    Entry& e = Slot(row, column);
    ReleaseText(e);
    StoreText(e, utf8);
    e.touched = 1;
    if (deadBytes_ > kMinDeadBytesToCompact && deadBytes_ * 2 > arena_.size()) CompactArena();
}

void SheetData::ClearCell(int32_t row, int32_t column) {
    if (!Addressable(row, column) || row < firstRow_) return;
    // The empty entry stays, marked touched, so that an engine rewriting only
    // changed cells knows to empty this one in its file too.
    Entry& e = Slot(row, column);
    ReleaseText(e);
    e.type = CellValue::Type::Empty;
    e.format = 0;
    e.touched = 1;
}

void SheetData::ClearRange(const CellRange& range) {
    if (range.Empty()) return;
    changed_ = true;
    cleared_.push_back(range);
    size_t first = static_cast<size_t>(std::max(range.firstRow, firstRow_) - firstRow_);
    size_t last = range.lastRow < firstRow_
                      ? 0
                      : std::min(static_cast<size_t>(range.lastRow - firstRow_) + 1, rows_.size());
    for (size_t r = first; r < last; ++r) {
        std::vector<Entry>& cells = rows_[r];
        auto from = std::lower_bound(cells.begin(), cells.end(), range.firstColumn,
                                     [](const Entry& e, int32_t c) { return e.column < c; });
        auto to = std::upper_bound(from, cells.end(), range.lastColumn,
                                   [](int32_t c, const Entry& e) { return c < e.column; });
        for (auto it = from; it != to; ++it)
            ReleaseText(*it);
        cells.erase(from, to);
        if (cells.empty()) std::vector<Entry>().swap(cells);
    }
    while (!rows_.empty() && rows_.back().empty())
        rows_.pop_back();
    if (deadBytes_ > kMinDeadBytesToCompact && deadBytes_ * 2 > arena_.size()) CompactArena();
}

void SheetData::ReleaseTakenRows(size_t count) {
    for (size_t r = 0; r < count; ++r) {
        for (const Entry& e : rows_[r])
            ReleaseText(e);
    }
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(count));
    if (rows_.empty()) {
        arena_.clear();
        deadBytes_ = 0;
    }
    if (deadBytes_ > kMinDeadBytesToCompact && deadBytes_ * 2 > arena_.size()) CompactArena();
}

CellValue SheetData::Get(int32_t row, int32_t column) const {
    const Entry* e = Find(row, column);
    return e ? ToValue(*e) : CellValue{};
}

CellRange SheetData::UsedRange() const {
    CellRange used;
    for (size_t r = 0; r < rows_.size(); ++r) {
        const std::vector<Entry>& cells = rows_[r];
        auto first = std::find_if(cells.begin(), cells.end(),
                                  [](const Entry& e) { return e.type != CellValue::Type::Empty; });
        if (first == cells.end()) continue;
        auto last = std::find_if(cells.rbegin(), cells.rend(),
                                 [](const Entry& e) { return e.type != CellValue::Type::Empty; });
        int32_t row = static_cast<int32_t>(r) + firstRow_;
        if (used.Empty()) {
            used = {row, first->column, row, last->column};
        } else {
            used.firstColumn = std::min<int32_t>(used.firstColumn, first->column);
            used.lastColumn = std::max<int32_t>(used.lastColumn, last->column);
            used.lastRow = row;
        }
    }
    return used;
}

int64_t SheetData::CellCount() const {
    int64_t count = 0;
    for (const std::vector<Entry>& cells : rows_) {
        count += std::count_if(cells.begin(), cells.end(),
                               [](const Entry& e) { return e.type != CellValue::Type::Empty; });
    }
    return count;
}

void SheetData::MarkUnchanged() {
    if (changed_) {
        for (std::vector<Entry>& cells : rows_) {
            std::erase_if(cells, [](const Entry& e) { return e.type == CellValue::Type::Empty; });
            for (Entry& e : cells)
                e.touched = 0;
        }
        while (!rows_.empty() && rows_.back().empty())
            rows_.pop_back();
    }
    cleared_.clear();
    changed_ = false;
}

bool SheetData::Touched(int32_t row, int32_t column) const {
    const Entry* e = Find(row, column);
    return e && e->touched;
}

bool SheetData::InClearedRange(int32_t row, int32_t column) const {
    return std::any_of(cleared_.begin(), cleared_.end(), [&](const CellRange& r) {
        return row >= r.firstRow && row <= r.lastRow && column >= r.firstColumn &&
               column <= r.lastColumn;
    });
}

int32_t SheetData::NextTouchedRow(int32_t row) const {
    for (size_t r = static_cast<size_t>(std::max(row, firstRow_) - firstRow_); r < rows_.size();
         ++r) {
        for (const Entry& e : rows_[r]) {
            if (e.touched) return static_cast<int32_t>(r) + firstRow_;
        }
    }
    return 0;
}

std::string CellValueText(const CellValue& value) {
    switch (value.type) {
    case CellValue::Type::Number:
        return DoubleToPlainText(value.number);
    case CellValue::Type::Text:
        return std::string(value.text);
    case CellValue::Type::Empty:
        break;
    }
    return {};
}

CellWrite AssignTypedInput(SheetData& sheet, FormatTable& formats, TypedValue& scratch,
                           const SheetLimits& limits, int32_t row, int32_t column,
                           std::string_view text) {
    // 1. The cell must lie on the sheet.
    if (row < 1 || row > limits.maxRows) return CellWrite::BeyondLastRow;
    if (column < 1 || column > limits.maxColumns) return CellWrite::BeyondLastColumn;
    // 2. The text must fit a cell (counting characters only when the bytes do not).
    if (text.size() > static_cast<size_t>(kMaxCellTextChars) &&
        CharCount(text) > static_cast<size_t>(kMaxCellTextChars)) {
        return CellWrite::TextTooLong;
    }
    // 3. Typed input decides between number, text and nothing.
    InterpretTypedInput(text, scratch);
    switch (scratch.kind) {
    case TypedValue::Kind::Empty:
        sheet.ClearCell(row, column);
        break;
    case TypedValue::Kind::Number:
        sheet.SetNumber(row, column, scratch.number, formats.Intern(scratch.numberFormat));
        break;
    case TypedValue::Kind::Text:
        sheet.SetText(row, column, text);
        break;
    }
    return CellWrite::Written;
}

bool NameSheet(std::vector<SheetData>& sheets, int32_t sheet, std::string_view name,
               std::string_view workbook, std::string& error) {
    if (sheet < 1 || static_cast<size_t>(sheet) > sheets.size() + 1) {
        error = "The workbook " + std::string(workbook) + " has no sheet " + std::to_string(sheet) +
                ".";
        return false;
    }
    const size_t index = static_cast<size_t>(sheet - 1);
    std::string problem = SheetNameProblem(name, sheets, index);
    if (!problem.empty()) {
        error = std::move(problem);
        return false;
    }
    if (index == sheets.size())
        sheets.emplace_back(std::string(name));
    else
        sheets[index].SetName(std::string(name));
    return true;
}

std::string SheetNameProblem(std::string_view name, const std::vector<SheetData>& sheets,
                             size_t index) {
    std::string problem = SheetNameFormProblem(name);
    if (!problem.empty()) return problem;
    for (size_t i = 0; i < sheets.size(); ++i) {
        if (i != index && SameNameIgnoringCase(sheets[i].Name(), name)) {
            return "The workbook already has a sheet named \"" + sheets[i].Name() + "\".";
        }
    }
    return {};
}

} // namespace vok
