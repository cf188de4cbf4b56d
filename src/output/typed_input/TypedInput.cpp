#include "output/typed_input/TypedInput.h"

#include "base/NumericText.h"

namespace vok {

namespace {

// A double holds 15 significant decimal digits; more would be lost silently.
constexpr int32_t kMostSignificantDigits = 15;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A plain loop: a set of characters to skip costs a search per character,
// and this runs for every cell.
std::string_view TrimBlanks(std::string_view text) {
    size_t first = 0, end = text.size();
    while (first < end && IsBlank(text[first]))
        ++first;
    while (end > first && IsBlank(text[end - 1]))
        --end;
    return text.substr(first, end - first);
}

// "#,##0.00", "0.0", "$#,##0" ...: the body of a format for the shape.
void AppendBody(std::string& format, const NumberShape& shape, bool group) {
    if (shape.currency) format.push_back('$');
    format.append(group ? "#,##0" : "0");
    if (shape.decimals > 0) {
        format.push_back('.');
        format.append(static_cast<size_t>(shape.decimals), '0');
    }
}

// The number format that shows the number as it was typed; "" is General.
void AppendFormatFor(std::string& format, const NumberShape& shape) {
    // 1. An exponent shows the mantissa's decimals: "1.5E+3" as 1.5E+03.
    if (shape.exponent) {
        AppendBody(format, NumberShape{.decimals = shape.decimals}, false);
        format.append("E+00");
        return;
    }
    // 2. Parentheses keep their look for negatives and leave room for them on
    // positives; currency and parentheses always group thousands.
    const bool group = shape.thousands || shape.currency || shape.parentheses;
    if (shape.parentheses) {
        AppendBody(format, shape, group);
        format.append("_);(");
        AppendBody(format, shape, group);
        format.push_back(')');
        return;
    }
    // 3. A plain whole number needs no format at all.
    if (!group && shape.decimals == 0) return;
    AppendBody(format, shape, group);
}

} // namespace

void InterpretTypedInput(std::string_view text, TypedValue& value) {
    value.numberFormat.clear();
    value.number = 0;
    value.wholeNumber = false;
    value.blank = false;
    // 1. An empty text leaves the cell empty.
    if (text.empty()) {
        value.kind = TypedValue::Kind::Empty;
        return;
    }
    value.kind = TypedValue::Kind::Text;
    // 2. Judged with blanks set aside: never a formula, and only numbers the
    // numeric test accepts.
    const std::string_view judged = TrimBlanks(text);
    value.blank = judged.empty();
    if (judged.empty() || judged.front() == '=') return;
    ParsedNumber parsed;
    if (!IsNumeric(judged, &parsed)) return;
    // 3. Codes with a leading zero and digits a double cannot hold stay text,
    // so nothing of them is lost.
    const NumberShape& shape = parsed.shape;
    if (shape.wholeNumber && shape.leadingZeros > 0 && shape.wholeDigits > 1) return;
    if (shape.significantDigits > kMostSignificantDigits) return;
    // 4. A number, shown as typed.
    value.kind = TypedValue::Kind::Number;
    value.number = parsed.value;
    value.wholeNumber = shape.wholeNumber;
    AppendFormatFor(value.numberFormat, shape);
}

} // namespace vok
