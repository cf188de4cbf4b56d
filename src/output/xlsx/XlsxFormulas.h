// The text of .xlsx formulas (A1 style, as the file stores them without the
// leading "="): the pieces a scan steps over whole, and the copy of a formula
// into another cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

// A character of a name, a function, a sheet or a cell reference.
bool IsFormulaNameChar(char c);

// The position after the string literal ("...", "" inside) that starts at `i`.
size_t StringLiteralEnd(std::string_view formula, size_t i);

// The position after the bracketed group (an external book "[1]" or a
// structured reference "Table1[[#This Row],[Amount]]") that starts at `i`.
size_t BracketGroupEnd(std::string_view formula, size_t i);

// The formula as a spreadsheet copies it `rows` down and `columns` right:
// relative references move, absolute ones ($A$1, the $ parts of $A1 and
// A$1) stay; ranges, whole columns (A:C) and whole rows (3:5) likewise, on
// any sheet or book. String literals, structured references, names and
// functions stay as they are. False when a moved reference would leave the
// sheet.
bool ShiftFormula(std::string_view formula, int32_t rows, int32_t columns, std::string& out);

} // namespace vok
