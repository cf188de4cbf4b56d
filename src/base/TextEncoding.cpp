#include "base/TextEncoding.h"

#include <cstring>

namespace vok {

namespace {

// Code points of Windows-1252 bytes 0x80 to 0x9F; undefined bytes keep their
// C1 code point so that they survive a round trip.
constexpr char16_t kHigh1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

bool IsAscii(std::string_view text) {
    const char* p = text.data();
    size_t n = text.size();
    while (n >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL) return false;
        p += 8;
        n -= 8;
    }
    while (n--) {
        if (static_cast<unsigned char>(*p++) & 0x80) return false;
    }
    return true;
}

bool Utf8Validator::Feed(const char* data, size_t size) {
    if (!valid_) return false;
    const unsigned char* const start = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* p = start;
    const unsigned char* end = p + size;
    // The byte just read is the one that cannot be UTF-8.
    auto invalid = [&] {
        failedAt_ = static_cast<size_t>(p - 1 - start);
        return valid_ = false;
    };
    while (p < end) {
        if (pending_ == 0) {
            // ASCII runs are the common case: skip them eight bytes at a time.
            while (end - p >= 8) {
                uint64_t word;
                std::memcpy(&word, p, 8);
                if (word & 0x8080808080808080ULL) break;
                p += 8;
            }
            if (p >= end) break;
            const unsigned char c = *p++;
            if (c < 0x80) continue;
            if (c >= 0xC2 && c <= 0xDF)
                pending_ = 1;
            else if (c >= 0xE0 && c <= 0xEF)
                pending_ = 2;
            else if (c >= 0xF0 && c <= 0xF4)
                pending_ = 3;
            else
                return invalid();
            lead_ = c;
            firstCont_ = true;
            continue;
        }
        const unsigned char c = *p++;
        if ((c & 0xC0) != 0x80) return invalid();
        if (firstCont_) {
            // Overlong forms, surrogates and code points above U+10FFFF.
            if ((lead_ == 0xE0 && c < 0xA0) || (lead_ == 0xED && c > 0x9F) ||
                (lead_ == 0xF0 && c < 0x90) || (lead_ == 0xF4 && c > 0x8F))
                return invalid();
            firstCont_ = false;
        }
        --pending_;
    }
    return true;
}

bool HoldsUtf8Sequence(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0xC2 || lead > 0xF4) continue;
        const size_t length = lead <= 0xDF ? 2 : lead <= 0xEF ? 3 : 4;
        if (bytes.size() - i < length) return false;
        Utf8Validator one;
        if (one.Feed(bytes.data() + i, length) && one.Finish()) return true;
    }
    return false;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendWindows1252AsUtf8(std::string& out, std::string_view bytes) {
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out.push_back(ch);
        else if (b < 0xA0)
            AppendUtf8(out, kHigh1252[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
}

bool AppendUtf8AsWindows1252(std::string& out, std::string_view text) {
    if (IsAscii(text)) {
        out.append(text);
        return true;
    }
    bool exact = true;
    for (const char32_t c : ToUtf32(text)) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i) {
            if (kHigh1252[i] == c) found = i;
        }
        if (found >= 0) {
            out.push_back(static_cast<char>(0x80 + found));
        } else {
            out.push_back('?');
            exact = false;
        }
    }
    return exact;
}

size_t CharCount(std::string_view text) {
    size_t count = 0;
    for (const char ch : text) {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::string_view CharSubstr(std::string_view text, size_t start, size_t count) {
    // Byte offset of the character with the given index, or the text's end.
    auto offsetOf = [&](size_t from, size_t chars) {
        size_t i = from;
        while (chars > 0 && i < text.size()) {
            ++i;
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
                ++i;
            --chars;
        }
        return i;
    };
    const size_t begin = offsetOf(0, start);
    const size_t end = offsetOf(begin, count);
    return text.substr(begin, end - begin);
}

std::u32string ToUtf32(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if (c >= 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else {
            cp = 0xFFFD;
            extra = 0;
        }
        ++i;
        while (extra-- > 0 && i < text.size()) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
            ++i;
        }
        out.push_back(cp);
    }
    return out;
}

std::string ToUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text)
        AppendUtf8(out, c);
    return out;
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

} // namespace vok
