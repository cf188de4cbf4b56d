#include "output/xlsx/XlsxFormulas.h"

#include "output/OutputType.h"
#include "output/workbook/XmlText.h"

#include <algorithm>
#include <cctype>

namespace vok {

namespace {

constexpr int32_t kMaxRow = SheetLimitsOf(OutputType::Xlsx).maxRows;
constexpr int32_t kMaxColumn = SheetLimitsOf(OutputType::Xlsx).maxColumns;

// A column ("$AB") or a row ("$12") of a reference.
struct Coordinate {
    bool absolute = false;
    int32_t value = 0;
};

// The length of the column ("$"? and 1 to 3 letters) at the start of `text`; 0 when none.
size_t ColumnPart(std::string_view text, Coordinate& column) {
    size_t i = 0;
    column.absolute = !text.empty() && text[0] == '$';
    if (column.absolute) ++i;
    const size_t first = i;
    int32_t value = 0;
    while (i < text.size() && i - first < 3 && std::isalpha(static_cast<unsigned char>(text[i]))) {
        value = value * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
        ++i;
    }
    if (i == first || value > kMaxColumn) return 0;
    column.value = value;
    return i;
}

// The length of the row ("$"? and digits) at the start of `text`; 0 when none.
size_t RowPart(std::string_view text, Coordinate& row) {
    size_t i = 0;
    row.absolute = !text.empty() && text[0] == '$';
    if (row.absolute) ++i;
    const size_t first = i;
    int64_t value = 0;
    while (i < text.size() && i - first < 8 && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    if (i == first || value < 1 || value > kMaxRow) return 0;
    row.value = static_cast<int32_t>(value);
    return i;
}

bool Move(Coordinate& c, int32_t by, int32_t highest) {
    if (c.absolute) return true;
    const int64_t moved = int64_t{c.value} + by;
    if (moved < 1 || moved > highest) return false;
    c.value = static_cast<int32_t>(moved);
    return true;
}

void AppendColumn(std::string& out, const Coordinate& c) {
    if (c.absolute) out += '$';
    AppendColumnLetters(out, c.value);
}

void AppendRow(std::string& out, const Coordinate& c) {
    if (c.absolute) out += '$';
    AppendDecimal(out, c.value);
}

bool IsTokenChar(char c) {
    return IsFormulaNameChar(c) || c == '$';
}

size_t TokenEnd(std::string_view f, size_t i) {
    while (i < f.size() && IsTokenChar(f[i]))
        ++i;
    return i;
}

// Moves the reference, or the pair of whole columns or rows ("A:C", "3:5"),
// that starts with the token f[i, end); advances `i` past what it handled.
// False when it would leave the sheet.
bool ShiftToken(std::string_view f, size_t& i, size_t end, int32_t rows, int32_t columns,
                std::string& out) {
    const std::string_view token = f.substr(i, end - i);
    const char next = end < f.size() ? f[end] : '\0';
    // 1. A function, a sheet, a table or a name stays as it is.
    const bool named = next == '(' || next == '!' || next == '[';
    Coordinate column, row, cellRow, column2, row2;
    const size_t letters = named ? 0 : ColumnPart(token, column);
    const size_t digits = named ? 0 : RowPart(token, row);
    // 2. A cell.
    if (letters > 0 && letters < token.size() &&
        RowPart(token.substr(letters), cellRow) == token.size() - letters) {
        if (!Move(column, columns, kMaxColumn) || !Move(cellRow, rows, kMaxRow)) return false;
        AppendColumn(out, column);
        AppendRow(out, cellRow);
        i = end;
        return true;
    }
    // 3. Whole columns or whole rows: a pair around ":".
    const size_t secondEnd = next == ':' ? TokenEnd(f, end + 1) : end;
    const std::string_view second = next == ':' ? f.substr(end + 1, secondEnd - end - 1) : "";
    const bool pair = !second.empty() && (secondEnd >= f.size() || f[secondEnd] != '!');
    if (pair && letters == token.size() && ColumnPart(second, column2) == second.size()) {
        if (!Move(column, columns, kMaxColumn) || !Move(column2, columns, kMaxColumn)) return false;
        AppendColumn(out, column);
        out += ':';
        AppendColumn(out, column2);
        i = secondEnd;
        return true;
    }
    if (pair && digits == token.size() && RowPart(second, row2) == second.size()) {
        if (!Move(row, rows, kMaxRow) || !Move(row2, rows, kMaxRow)) return false;
        AppendRow(out, row);
        out += ':';
        AppendRow(out, row2);
        i = secondEnd;
        return true;
    }
    out.append(token);
    i = end;
    return true;
}

} // namespace

bool IsFormulaNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '.' || c == '\\' || u >= 0x80;
}

size_t StringLiteralEnd(std::string_view f, size_t i) {
    size_t end = i + 1;
    while (end < f.size() && !(f[end] == '"' && (end + 1 >= f.size() || f[end + 1] != '"')))
        end += f[end] == '"' ? 2 : 1;
    return std::min(end + 1, f.size());
}

size_t BracketGroupEnd(std::string_view f, size_t i) {
    size_t end = i;
    int depth = 0;
    for (; end < f.size(); ++end) {
        if (f[end] == '\'' && end + 1 < f.size()) { // an escaped character
            ++end;
            continue;
        }
        if (f[end] == '[') ++depth;
        if (f[end] == ']' && --depth == 0) break;
    }
    return std::min(end + 1, f.size());
}

bool ShiftFormula(std::string_view f, int32_t rows, int32_t columns, std::string& out) {
    out.clear();
    size_t i = 0;
    while (i < f.size()) {
        const char c = f[i];
        size_t end = i + 1;
        if (c == '"') {
            end = StringLiteralEnd(f, i);
        } else if (c == '[') {
            end = BracketGroupEnd(f, i);
        } else if (c == '\'') { // a quoted sheet name, '' inside
            while (end < f.size() && (f[end] != '\'' || (end + 1 < f.size() && f[end + 1] == '\'')))
                end += f[end] == '\'' ? 2 : 1;
            end = std::min(end + 1, f.size());
        } else if (c == '#') { // an error value (#REF!, #N/A) or a spill (A1#)
            while (end < f.size() && (std::isalnum(static_cast<unsigned char>(f[end])) ||
                                      f[end] == '/' || f[end] == '!' || f[end] == '?'))
                ++end;
        } else if (IsTokenChar(c)) {
            if (!ShiftToken(f, i, TokenEnd(f, i), rows, columns, out)) return false;
            continue;
        }
        out.append(f.substr(i, end - i));
        i = end;
    }
    return true;
}

} // namespace vok
