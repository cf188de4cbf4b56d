#include "base/modUtilityString.h"

#include "base/TextEncoding.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace vok {

std::string StripQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c != '"') out.push_back(c);
    }
    return out;
}

bool ParseWholeNumber(std::string_view text, int32_t& value) {
    const std::string_view t = Trim(text);
    if (t.empty()) return false;
    std::string_view digits = t;
    if (digits.front() == '+') digits.remove_prefix(1);
    // One sign at most: from_chars would take the "-" of "+-5" as well.
    if (digits.empty() || (digits.size() < t.size() && digits.front() == '-')) return false;
    double number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number,
                                           std::chars_format::fixed);
    if (ec != std::errc() || end != digits.data() + digits.size()) return false;
    if (!std::isfinite(number)) return false;
    const double rounded = std::nearbyint(number); // the default rounding is to even
    if (rounded < INT32_MIN || rounded > INT32_MAX) return false;
    value = static_cast<int32_t>(rounded);
    return true;
}

std::string Echo(std::string_view value) {
    constexpr size_t kShown = 200;
    // At most as many characters as bytes: a short value needs no count.
    if (value.size() <= kShown) return std::string(value);
    const size_t characters = CharCount(value);
    if (characters <= kShown) return std::string(value);
    std::string shown(CharSubstr(value, 0, kShown));
    shown += "... (cut: " + std::to_string(characters) + " characters in all)";
    return shown;
}

} // namespace vok
