// Small text helpers shared by the command line, settings and lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

// The text without any double-quote character.
std::string StripQuotes(std::string_view text);

// Blanks are space characters only; tabs are never trimmed. Inline: the
// recipe readers and writers trim every key and value they touch.
inline std::string_view TrimLeft(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && text[begin] == ' ')
        ++begin;
    return begin == text.size() ? std::string_view{} : text.substr(begin);
}
inline std::string_view TrimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ')
        --end;
    return end == 0 ? std::string_view{} : text.substr(0, end);
}
inline std::string_view Trim(std::string_view text) {
    return TrimRight(TrimLeft(text));
}

// A whole number as the program's conversions read it: blanks around it
// allowed, a decimal fraction rounded to the nearest whole number (halves to
// even). False for anything else, and for numbers outside 32 bits.
bool ParseWholeNumber(std::string_view text, int32_t& value);

// A value from a file or the command line as a message echoes it: whole up
// to 200 characters; a longer one is cut there and marked as cut, so that a
// 100 KB key text does not bury the message around it.
std::string Echo(std::string_view value);

} // namespace vok
