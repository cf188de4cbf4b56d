// The program's own numeric test and its number texts.
//
// A field is numeric when its whole text, blanks aside, reads as one number:
// digits with "." as decimal separator and "," as thousands separators, a plus
// or minus sign before or after the digits, a value in parentheses read as
// negative, the currency symbol "$", an exponent. Sums use fixed-point
// currency: a 64-bit integer scaled by 10,000.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

// Fixed-point currency: value * 10,000, range +-922,337,203,685,477.5807.
using Currency = int64_t;
inline constexpr int64_t kCurrencyScale = 10'000;

// How the number was typed, so that a workbook can show it the same way.
struct NumberShape {
    bool thousands = false;   // "," grouping was used
    int32_t decimals = 0;     // digits after the decimal point
    bool parentheses = false; // (12.00)
    bool currency = false;    // $
    bool exponent = false;    // 1.5E+3
    bool negative = false;
    int32_t wholeDigits = 0;  // digits before the decimal point
    int32_t leadingZeros = 0; // zeros before the first other digit of the whole part
    // Digits from the first non-zero digit to the last digit written.
    int32_t significantDigits = 0;
    bool wholeNumber = false; // no decimal point and no exponent
};

struct ParsedNumber {
    double value = 0;
    NumberShape shape;
};

// The numeric test. Fills `number` when the text is numeric. A number beyond
// the range of a double ("1E400") is not numeric.
bool IsNumeric(std::string_view text, ParsedNumber* number = nullptr);

enum class CurrencyParse { Ok, NotNumeric, OutOfRange };

// The numeric test and the currency value in one pass: the number rounded to
// four decimals (halves away from zero), computed from the digits, not through
// a double. OutOfRange for a numeric text beyond the currency range.
CurrencyParse ParseCurrency(std::string_view text, Currency& value);

// The currency value of a numeric text; false when the text is not numeric or
// lies outside the range.
bool ToCurrency(std::string_view text, Currency& value);

// Adds with a range check; false on overflow.
bool AddCurrency(Currency a, Currency b, Currency& sum);

// A plain decimal number for a double, with up to 15 significant digits and
// never an exponent; "" for infinities and NaN.
std::string DoubleToPlainText(double value);

// The text written for a sum by the recipe's number format: "NearestDollar"
// gives "#,##0", "NearestCent" "#,##0.00", anything else the plain number
// (leading minus, "." only when needed, no separators, no trailing zeros).
// Halves round away from zero, "," separates thousands, and a minus stands
// before negative values also where they round to zero, as spreadsheets show
// them. Doubles are rounded from their 15 significant digits.
std::string FormatByWriteDataFormat(Currency value, std::string_view writeDataFormat);

// The same into a buffer the caller reuses, for per-cell work.
void FormatByWriteDataFormatInto(std::string& out, Currency value,
                                 std::string_view writeDataFormat);
void FormatDoubleByWriteDataFormatInto(std::string& out, double value,
                                       std::string_view writeDataFormat);

} // namespace vok
