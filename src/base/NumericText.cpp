#include "base/NumericText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace vok {

namespace {

// An exponent beyond this puts any non-zero number outside a double anyway;
// clamping keeps the digit arithmetic in range for texts like "1E999999999999".
constexpr int64_t kExponentLimit = 100'000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A numeric text taken apart: where its digits are and how it was typed.
struct Scan {
    std::string_view whole;    // digits before the decimal point, with their "," separators
    std::string_view fraction; // digits after the decimal point
    int64_t exponent = 0;      // clamped to +-kExponentLimit
    int64_t leadPower = 0;     // power of ten of the first significant digit
    NumberShape shape;
};

// Signs and "$" with blanks among them, from `pos`; false for a second sign or
// a second "$" (counting those already seen).
bool ReadAffixes(std::string_view t, size_t& pos, char& sign, bool& currency) {
    while (pos < t.size()) {
        const char c = t[pos];
        if (c == '+' || c == '-') {
            if (sign != 0) return false;
            sign = c;
        } else if (c == '$') {
            if (currency) return false;
            currency = true;
        } else if (!IsBlank(c)) {
            break;
        }
        ++pos;
    }
    return true;
}

// Counts the digits of the whole part and the fraction for the shape.
void MeasureDigits(Scan& s) {
    NumberShape& shape = s.shape;
    bool significant = false;
    int32_t sinceFirst = 0;
    for (const char c : s.whole) {
        if (!IsDigit(c)) continue;
        ++shape.wholeDigits;
        if (!significant && c == '0') ++shape.leadingZeros;
        if (c != '0') significant = true;
        if (significant) ++sinceFirst;
    }
    int32_t fractionZeros = 0;
    for (const char c : s.fraction) {
        if (c != '0') significant = true;
        if (significant)
            ++sinceFirst;
        else
            ++fractionZeros;
    }
    shape.significantDigits = sinceFirst;
    const int64_t wholeSignificant = shape.wholeDigits - shape.leadingZeros;
    s.leadPower = (wholeSignificant > 0 ? wholeSignificant - 1 : -1 - fractionZeros) + s.exponent;
}

// Blanks aside; parentheses enclose everything else and make the value
// negative. False for a parenthesis without its partner.
[[gnu::always_inline]] inline bool StripParentheses(std::string_view& t, Scan& s) {
    t = TrimBlanks(t);
    if (t.empty()) return false;
    if (t.front() == '(') {
        if (t.size() < 2 || t.back() != ')') return false;
        t = TrimBlanks(t.substr(1, t.size() - 2));
        s.shape.parentheses = true;
    } else if (t.back() == ')') {
        return false;
    }
    return true;
}

// The whole part: digits, with "," only between two digits; then the fraction.
[[gnu::always_inline]] inline void ReadDigits(std::string_view t, size_t& pos, Scan& s,
                                              bool& point) {
    const size_t wholeStart = pos;
    while (pos < t.size()) {
        if (IsDigit(t[pos])) {
            ++pos;
        } else if (t[pos] == ',' && pos > wholeStart && pos + 1 < t.size() && IsDigit(t[pos + 1])) {
            s.shape.thousands = true;
            ++pos;
        } else {
            break;
        }
    }
    s.whole = t.substr(wholeStart, pos - wholeStart);
    point = pos < t.size() && t[pos] == '.';
    if (point) {
        const size_t fractionStart = ++pos;
        while (pos < t.size() && IsDigit(t[pos]))
            ++pos;
        s.fraction = t.substr(fractionStart, pos - fractionStart);
    }
}

// The exponent, when there is one: "E" or "e", an optional sign, at least one
// digit. False for an "E" without its digits.
[[gnu::always_inline]] inline bool ReadExponent(std::string_view t, size_t& pos, Scan& s) {
    if (pos >= t.size() || (t[pos] != 'E' && t[pos] != 'e')) return true;
    ++pos;
    bool negativeExponent = false;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) negativeExponent = t[pos++] == '-';
    if (pos >= t.size() || !IsDigit(t[pos])) return false;
    int64_t e = 0;
    while (pos < t.size() && IsDigit(t[pos]))
        e = std::min(e * 10 + (t[pos++] - '0'), kExponentLimit);
    s.exponent = negativeExponent ? -e : e;
    s.shape.exponent = true;
    return true;
}

bool ScanNumber(std::string_view text, Scan& s) {
    s = Scan{};
    std::string_view t = text;
    if (!StripParentheses(t, s)) return false;
    // A sign and "$" before the digits.
    char sign = 0;
    bool currency = false;
    size_t pos = 0;
    if (!ReadAffixes(t, pos, sign, currency)) return false;
    // The digits; "." alone is no number.
    bool point = false;
    ReadDigits(t, pos, s, point);
    if (s.whole.empty() && s.fraction.empty()) return false;
    if (!ReadExponent(t, pos, s)) return false;
    // A sign and "$" after the digits; nothing else may follow.
    if (!ReadAffixes(t, pos, sign, currency) || pos != t.size()) return false;
    // A sign inside parentheses is one sign too many.
    if (sign != 0 && s.shape.parentheses) return false;
    s.shape.negative = sign == '-' || s.shape.parentheses;
    s.shape.currency = currency;
    s.shape.decimals = static_cast<int32_t>(s.fraction.size());
    s.shape.wholeNumber = !point && !s.shape.exponent;
    MeasureDigits(s);
    return true;
}

// The double value of a scanned number; false beyond the range of a double.
bool ToDouble(const Scan& s, double& value) {
    if (s.shape.significantDigits == 0) {
        value = 0;
        return true;
    }
    // from_chars wants plain digits: no separators, no "$", no parentheses.
    const size_t size = s.whole.size() + s.fraction.size() + 32;
    char stackBuffer[256];
    std::string heapBuffer;
    char* buffer = stackBuffer;
    if (size > sizeof stackBuffer) {
        heapBuffer.resize(size);
        buffer = heapBuffer.data();
    }
    char* p = buffer;
    if (s.shape.negative) *p++ = '-';
    for (const char c : s.whole) {
        if (IsDigit(c)) *p++ = c;
    }
    if (s.whole.empty()) *p++ = '0';
    if (!s.fraction.empty()) {
        *p++ = '.';
        std::memcpy(p, s.fraction.data(), s.fraction.size());
        p += s.fraction.size();
    }
    *p++ = 'e';
    p = std::to_chars(p, buffer + size, s.exponent).ptr;
    const auto result = std::from_chars(buffer, p, value);
    if (result.ec == std::errc::result_out_of_range && s.leadPower < 0) {
        value = 0; // too small for a double: it is zero
        return true;
    }
    return result.ec == std::errc() && std::isfinite(value);
}

// The currency value from the digits themselves, so that 0.00005 rounds to
// 0.0001 and long numbers keep every digit.
CurrencyParse ScanToCurrency(const Scan& s, Currency& value) {
    const uint64_t limit = s.shape.negative
                               ? uint64_t{1} << 63
                               : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    // 1. Digits with an index below `kept` land before the decimal point of
    // value * 10,000; the digit at `kept` decides the rounding.
    const int64_t kept = s.shape.wholeDigits + s.exponent + 4;
    uint64_t magnitude = 0;
    int64_t index = 0;
    bool roundUp = false;
    bool overflow = false;
    auto take = [&](char c) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (index < kept) {
            if (magnitude > (limit - digit) / 10)
                overflow = true;
            else
                magnitude = magnitude * 10 + digit;
        } else if (index == kept) {
            roundUp = digit >= 5;
        }
        ++index;
    };
    for (const char c : s.whole) {
        if (IsDigit(c)) take(c);
    }
    for (const char c : s.fraction)
        take(c);
    // 2. Places the digits did not reach are zeros.
    for (; index < kept && magnitude != 0 && !overflow; ++index) {
        if (magnitude > limit / 10)
            overflow = true;
        else
            magnitude *= 10;
    }
    // 3. Halves away from zero.
    if (roundUp && !overflow) {
        if (magnitude == limit)
            overflow = true;
        else
            ++magnitude;
    }
    if (overflow) return CurrencyParse::OutOfRange;
    value = static_cast<Currency>(s.shape.negative ? 0 - magnitude : magnitude);
    return CurrencyParse::Ok;
}

// A decimal number digits * 10^exp for writing; zero is "0".
struct Decimal {
    char digits[24];
    int32_t n = 0;
    int64_t exp = 0;
    bool negative = false;

    bool IsZero() const {
        return std::all_of(digits, digits + n, [](char c) { return c == '0'; });
    }
};

Decimal FromCurrency(Currency value) {
    Decimal d;
    d.negative = value < 0;
    const uint64_t magnitude =
        d.negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    d.n = static_cast<int32_t>(std::to_chars(d.digits, d.digits + sizeof d.digits, magnitude).ptr -
                               d.digits);
    d.exp = magnitude == 0 ? 0 : -4;
    return d;
}

// The 15 significant digits a double is shown with; false for infinities and NaN.
bool FromDouble(double value, Decimal& d) {
    if (!std::isfinite(value)) return false;
    d.negative = value < 0;
    if (value == 0) {
        d.digits[0] = '0';
        d.n = 1;
        d.exp = 0;
        return true;
    }
    // "d.ddddddddddddddde+xx"
    char buffer[40];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific, 14)
                          .ptr;
    const char* p = buffer;
    d.n = 0;
    for (; p < end && *p != 'e'; ++p) {
        if (*p != '.') d.digits[d.n++] = *p;
    }
    int exponent = 0;
    if (p + 1 < end) std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    d.exp = exponent - (d.n - 1);
    return true;
}

// Rounds to `decimals` places, halves away from zero.
void RoundTo(Decimal& d, int32_t decimals) {
    const int64_t drop = -int64_t{decimals} - d.exp;
    if (drop <= 0) return;
    bool up = false;
    if (drop > d.n) {
        d.n = 0;
    } else {
        up = d.digits[d.n - drop] >= '5';
        d.n -= static_cast<int32_t>(drop);
    }
    d.exp = -decimals;
    for (int32_t i = d.n - 1; up && i >= 0; --i) {
        if (d.digits[i] == '9') {
            d.digits[i] = '0';
        } else {
            ++d.digits[i];
            up = false;
        }
    }
    if (up) {
        std::memmove(d.digits + 1, d.digits, static_cast<size_t>(d.n));
        d.digits[0] = '1';
        ++d.n;
    }
    if (d.n == 0) {
        d.digits[0] = '0';
        d.n = 1;
    }
}

void TrimTrailingZeros(Decimal& d) {
    while (d.exp < 0 && d.n > 1 && d.digits[d.n - 1] == '0') {
        --d.n;
        ++d.exp;
    }
    if (d.IsZero()) d.exp = 0;
}

// Writes sign, whole part (grouped by thousands on request) and at least
// `fractionDigits` digits after the point.
void AppendDecimal(std::string& out, const Decimal& d, int32_t fractionDigits, bool group,
                   bool minusOnZero) {
    if (d.negative && (minusOnZero || !d.IsZero())) out.push_back('-');
    const int64_t wholeLength = d.n + d.exp;
    if (wholeLength <= 0) out.push_back('0');
    for (int64_t i = 0; i < wholeLength; ++i) {
        if (group && i > 0 && (wholeLength - i) % 3 == 0) out.push_back(',');
        out.push_back(i < d.n ? d.digits[i] : '0');
    }
    const int64_t fraction = std::max<int64_t>(fractionDigits, -d.exp);
    if (fraction <= 0) return;
    out.push_back('.');
    for (int64_t i = 0; i < fraction; ++i) {
        const int64_t index = wholeLength + i;
        out.push_back(index >= 0 && index < d.n ? d.digits[index] : '0');
    }
}

void AppendPlain(std::string& out, Decimal d) {
    TrimTrailingZeros(d);
    AppendDecimal(out, d, 0, false, false);
}

void AppendFormatted(std::string& out, Decimal d, int32_t decimals) {
    decimals = std::max(decimals, 0);
    RoundTo(d, decimals);
    AppendDecimal(out, d, decimals, true, true);
}

// Decimals of the recipe's number format; -1 for the plain number.
int32_t DecimalsOf(std::string_view writeDataFormat) {
    if (writeDataFormat == "NearestDollar") return 0;
    if (writeDataFormat == "NearestCent") return 2;
    return -1;
}

} // namespace

bool IsNumeric(std::string_view text, ParsedNumber* number) {
    Scan s;
    if (!ScanNumber(text, s)) return false;
    double value = 0;
    // Only numbers of some 308 digits and more can lie beyond a double.
    if ((number != nullptr || s.leadPower >= 308) && !ToDouble(s, value)) return false;
    if (number != nullptr) {
        number->value = value;
        number->shape = s.shape;
    }
    return true;
}

CurrencyParse ParseCurrency(std::string_view text, Currency& value) {
    Scan s;
    if (!ScanNumber(text, s)) return CurrencyParse::NotNumeric;
    const CurrencyParse result = ScanToCurrency(s, value);
    if (result == CurrencyParse::OutOfRange) {
        double ignored = 0;
        if (!ToDouble(s, ignored)) return CurrencyParse::NotNumeric;
    }
    return result;
}

bool ToCurrency(std::string_view text, Currency& value) {
    return ParseCurrency(text, value) == CurrencyParse::Ok;
}

bool AddCurrency(Currency a, Currency b, Currency& sum) {
    return !__builtin_add_overflow(a, b, &sum);
}

std::string DoubleToPlainText(double value) {
    std::string out;
    Decimal d;
    if (FromDouble(value, d)) AppendPlain(out, d);
    return out;
}

void FormatByWriteDataFormatInto(std::string& out, Currency value,
                                 std::string_view writeDataFormat) {
    out.clear();
    const int32_t decimals = DecimalsOf(writeDataFormat);
    if (decimals < 0)
        AppendPlain(out, FromCurrency(value));
    else
        AppendFormatted(out, FromCurrency(value), decimals);
}

void FormatDoubleByWriteDataFormatInto(std::string& out, double value,
                                       std::string_view writeDataFormat) {
    out.clear();
    Decimal d;
    if (!FromDouble(value, d)) return;
    const int32_t decimals = DecimalsOf(writeDataFormat);
    if (decimals < 0)
        AppendPlain(out, d);
    else
        AppendFormatted(out, d, decimals);
}

std::string FormatByWriteDataFormat(Currency value, std::string_view writeDataFormat) {
    std::string out;
    FormatByWriteDataFormatInto(out, value, writeDataFormat);
    return out;
}

} // namespace vok
