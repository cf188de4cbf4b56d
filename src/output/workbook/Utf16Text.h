// UTF-16, the form in which .xls workbooks store text, and the program's UTF-8.
//
// Lengths that the format limits (cell texts, sheet names) count UTF-16 code
// units, as the spreadsheet does: a character outside the Basic Multilingual
// Plane counts twice.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vok {

// Decodes the UTF-8 code point at `i` and advances past it; an invalid byte
// is one U+FFFD, so the text is never cut short.
char32_t NextCodePoint(std::string_view utf8, size_t& i);

// Appends the UTF-16 code units of UTF-8 text; a byte that is not part of a
// valid sequence becomes U+FFFD.
void AppendUtf16(std::u16string& out, std::string_view utf8);

// The number of UTF-16 code units AppendUtf16 would append.
size_t Utf16Length(std::string_view utf8);

// Appends UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD.
void AppendUtf16AsUtf8(std::string& out, std::u16string_view units);

} // namespace vok
