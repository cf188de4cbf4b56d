#include "output/workbook/Utf16Text.h"

#include "base/TextEncoding.h"

#include <cstdint>

namespace vok {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

char32_t NextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    int extra;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    size_t j = i;
    for (int k = 0; k < extra; ++k, ++j) {
        if (j >= text.size()) return kReplacement;
        const auto c = static_cast<unsigned char>(text[j]);
        if ((c & 0xC0) != 0x80) return kReplacement;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
    i = j;
    return cp;
}

void AppendUtf16(std::u16string& out, std::string_view utf8) {
    size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
}

size_t Utf16Length(std::string_view utf8) {
    if (IsAscii(utf8)) return utf8.size();
    size_t count = 0;
    size_t i = 0;
    while (i < utf8.size())
        count += NextCodePoint(utf8, i) < 0x10000 ? 1 : 2;
    return count;
}

void AppendUtf16AsUtf8(std::string& out, std::u16string_view units) {
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0xD800 || u > 0xDFFF) {
            AppendUtf8(out, u);
        } else if (u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                   units[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                                (units[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, kReplacement);
        }
    }
}

} // namespace vok
