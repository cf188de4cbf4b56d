// Character encodings of the text files vok reads.
//
// Inside the program all text is UTF-8. A file that is valid UTF-8 is read as
// UTF-8; any other file is Windows-1252, a byte per character, and is decoded
// to UTF-8 on reading and encoded back on writing, so CSV output keeps the
// input's bytes. Character positions count code points; ASCII text takes a
// fast path where a byte is a character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

enum class TextEncoding { Utf8, Windows1252 };

// True when no byte has its high bit set.
bool IsAscii(std::string_view text);

// Checks UTF-8 a block at a time; a sequence may be split between blocks.
class Utf8Validator {
public:
    // False once the bytes seen so far cannot be UTF-8.
    bool Feed(const char* data, size_t size);
    // True when everything fed was UTF-8 and no sequence was left open.
    bool Finish() const { return valid_ && pending_ == 0; }
    // No sequence is open: bytes of plain ASCII may be passed over unfed.
    bool Idle() const { return pending_ == 0; }
    // Where, in the bytes of the Feed that returned false first, the byte
    // lies that cannot be UTF-8.
    size_t FailedAt() const { return failedAt_; }

private:
    bool valid_ = true;
    int pending_ = 0;       // continuation bytes still expected
    uint32_t lead_ = 0;     // the sequence's lead byte, for the overlong and range checks
    bool firstCont_ = true; // the next continuation byte is the first after the lead
    size_t failedAt_ = 0;
};

// True when the bytes hold a well-formed UTF-8 character of two bytes or more.
bool HoldsUtf8Sequence(std::string_view bytes);

// Decodes Windows-1252 bytes, appending them to UTF-8 text.
void AppendWindows1252AsUtf8(std::string& out, std::string_view bytes);

// Encodes UTF-8 text as Windows-1252; a character without a code there
// becomes "?" and the result is false.
bool AppendUtf8AsWindows1252(std::string& out, std::string_view text);

// Number of characters (code points) of UTF-8 text.
size_t CharCount(std::string_view text);

// The characters from 0-based character index `start`, at most `count` of them
// (fewer or none where the text is shorter). A view into the text.
std::string_view CharSubstr(std::string_view text, size_t start, size_t count);

std::u32string ToUtf32(std::string_view text);
std::string ToUtf8(std::u32string_view text);
void AppendUtf8(std::string& out, char32_t c);

// Upper case of ASCII letters only, as the comparisons of key and
// section names need; other characters are left as they are.
std::string AsciiUpper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace vok
