// Typed input: what a spreadsheet makes of a text assigned to a cell.
//
// Text that passes the program's numeric test becomes a number, with a number
// format that shows it as typed (thousands separators, decimals, parentheses,
// currency, exponent). Judged with its blanks set aside, text stays text when
// it begins with "=" (never a formula), when it is a whole number with a
// leading zero ("00123"), or when it has more than 15 significant digits. An
// empty text leaves the cell empty; other text is stored as it stands.
#pragma once

#include <string>
#include <string_view>

namespace vok {

struct TypedValue {
    enum class Kind { Empty, Number, Text };
    Kind kind = Kind::Empty;
    double number = 0;
    // A number written without a decimal point or an exponent ("1,234", "(12)").
    bool wholeNumber = false;
    // A text of only blanks (a cell shows nothing, a database stores NULL).
    bool blank = false;
    // The number format code, "" for General. A buffer the caller reuses.
    std::string numberFormat;
};

void InterpretTypedInput(std::string_view text, TypedValue& value);

} // namespace vok
