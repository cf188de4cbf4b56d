#include "output/xlsx/XmlEncoding.h"

#include "base/TextEncoding.h"
#include "output/workbook/Utf16Text.h"

#include <fmt/format.h>

namespace vok {

namespace {

// The encoding name of the XML declaration at the start of `bytes`; "" when
// there is none.
std::string_view DeclaredEncoding(std::string_view bytes) {
    if (!bytes.starts_with("<?xml")) return {};
    const std::string_view head = bytes.substr(0, kDeclarationReach);
    const size_t end = head.find("?>");
    if (end == std::string_view::npos) return {};
    const std::string_view declaration = head.substr(0, end);
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return {};
    at = declaration.find_first_not_of(" \t\r\n", at + 8);
    if (at == std::string_view::npos || declaration[at] != '=') return {};
    at = declaration.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string_view::npos || (declaration[at] != '"' && declaration[at] != '\''))
        return {};
    const size_t close = declaration.find(declaration[at], at + 1);
    if (close == std::string_view::npos) return {};
    return declaration.substr(at + 1, close - at - 1);
}

bool NamedEncoding(std::string_view name, PartEncoding& encoding, std::string& why) {
    const std::string upper = AsciiUpper(name);
    if (upper.empty() || upper == "UTF-8" || upper == "UTF8") {
        encoding = PartEncoding::Utf8;
    } else if (upper == "ISO-8859-1" || upper == "ISO_8859-1" || upper == "LATIN1") {
        encoding = PartEncoding::Latin1;
    } else if (upper == "US-ASCII" || upper == "ASCII") {
        encoding = PartEncoding::Ascii;
    } else if (upper.starts_with("UTF-16")) {
        why = fmt::format("declares the encoding {} but is not stored in it", name);
        return false;
    } else {
        why = fmt::format("is stored in the encoding {}, which vok cannot write back", name);
        return false;
    }
    return true;
}

bool DecodeUtf16(std::string& bytes, bool littleEndian, std::string& why) {
    if (bytes.size() % 2 != 0) {
        why = "its UTF-16 text ends in half a character";
        return false;
    }
    const auto unit = [&](size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(littleEndian ? first | second << 8 : first << 8 | second);
    };
    std::string utf8;
    utf8.reserve(bytes.size() / 2);
    for (size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDFFF) {
            // A character beyond U+FFFF takes a high and a low surrogate.
            const char32_t low = i + 3 < bytes.size() ? unit(i + 2) : 0;
            if (c > 0xDBFF || low < 0xDC00 || low > 0xDFFF) {
                why = fmt::format("its UTF-16 text holds an unpaired surrogate at byte {}", i);
                return false;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(utf8, c);
    }
    bytes = std::move(utf8);
    return true;
}

void DecodeLatin1(std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size() + bytes.size() / 8);
    for (const char b : bytes)
        AppendUtf8(utf8, static_cast<unsigned char>(b));
    bytes = std::move(utf8);
}

// The length of the part of `utf8` that ends on a whole character.
size_t CompleteLength(std::string_view utf8) {
    const size_t size = utf8.size();
    for (size_t back = 1; back <= 4 && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(utf8[size - back]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: look further back
        const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

} // namespace

bool DetectPartEncoding(std::string_view bytes, PartEncoding& encoding, std::string& why) {
    // 1. A byte-order mark decides.
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        encoding = PartEncoding::Utf8;
        return true;
    }
    if (bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
        bytes.starts_with(std::string_view("\0\0", 2))) {
        why = "is stored in UTF-32, which vok cannot write back";
        return false;
    }
    if (bytes.starts_with("\xFF\xFE")) {
        encoding = PartEncoding::Utf16Le;
        return true;
    }
    if (bytes.starts_with("\xFE\xFF")) {
        encoding = PartEncoding::Utf16Be;
        return true;
    }
    // 2. Without one, UTF-16 shows in its first character, "<".
    if (bytes.starts_with(std::string_view("<\0", 2))) {
        encoding = PartEncoding::Utf16Le;
        return true;
    }
    if (bytes.starts_with(std::string_view("\0<", 2))) {
        encoding = PartEncoding::Utf16Be;
        return true;
    }
    // 3. Otherwise the declaration names it; none means UTF-8.
    return NamedEncoding(DeclaredEncoding(bytes), encoding, why);
}

const char* ExpatEncodingName(PartEncoding encoding) {
    switch (encoding) {
    case PartEncoding::Utf16Le:
        return "UTF-16LE";
    case PartEncoding::Utf16Be:
        return "UTF-16BE";
    case PartEncoding::Latin1:
        return "ISO-8859-1";
    case PartEncoding::Ascii:
        return "US-ASCII";
    case PartEncoding::Utf8:
        break;
    }
    return "UTF-8";
}

bool DecodePart(std::string& bytes, PartEncoding encoding, std::string& why) {
    switch (encoding) {
    case PartEncoding::Utf8:
        return true;
    case PartEncoding::Utf16Le:
    case PartEncoding::Utf16Be:
        return DecodeUtf16(bytes, encoding == PartEncoding::Utf16Le, why);
    case PartEncoding::Ascii:
        if (IsAscii(bytes)) return true;
        why = "it declares US-ASCII but holds other bytes";
        return false;
    case PartEncoding::Latin1:
        if (!IsAscii(bytes)) DecodeLatin1(bytes);
        return true;
    }
    return true;
}

void PartEncoder::Append(std::string& out, std::string_view utf8) {
    if (encoding_ == PartEncoding::Utf8) {
        out.append(utf8);
        return;
    }
    std::string joined;
    if (!pending_.empty()) {
        joined = std::move(pending_);
        joined.append(utf8);
        utf8 = joined;
    }
    const size_t complete = CompleteLength(utf8);
    AppendComplete(out, utf8.substr(0, complete));
    pending_.assign(utf8.substr(complete));
}

void PartEncoder::Finish(std::string& out) {
    AppendComplete(out, pending_);
    pending_.clear();
}

std::string PartEncoder::Encode(std::string_view utf8, PartEncoding encoding) {
    std::string out;
    PartEncoder(encoding).AppendComplete(out, utf8);
    return out;
}

void PartEncoder::AppendComplete(std::string& out, std::string_view utf8) const {
    switch (encoding_) {
    case PartEncoding::Utf8:
        out.append(utf8);
        return;
    case PartEncoding::Utf16Le:
    case PartEncoding::Utf16Be: {
        const bool little = encoding_ == PartEncoding::Utf16Le;
        const auto put = [&](char32_t u) {
            const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
            out += little ? low : high;
            out += little ? high : low;
        };
        out.reserve(out.size() + 2 * utf8.size());
        for (size_t i = 0; i < utf8.size();) {
            const char32_t c = NextCodePoint(utf8, i);
            if (c < 0x10000) {
                put(c);
            } else {
                put(0xD800 + ((c - 0x10000) >> 10));
                put(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
        }
        return;
    }
    case PartEncoding::Latin1:
    case PartEncoding::Ascii: {
        const char32_t highest = encoding_ == PartEncoding::Latin1 ? 0xFF : 0x7F;
        if (IsAscii(utf8)) {
            out.append(utf8);
            return;
        }
        for (size_t i = 0; i < utf8.size();) {
            const char32_t c = NextCodePoint(utf8, i);
            if (c <= highest)
                out += static_cast<char>(c);
            else
                fmt::format_to(std::back_inserter(out), "&#{};", static_cast<uint32_t>(c));
        }
        return;
    }
    }
}

} // namespace vok
