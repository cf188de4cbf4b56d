// Line-oriented helpers on text files: reading a run of lines by number, tab
// expansion, and the key-line search on an open reader (the rule every
// search of key lines follows; TextIndex answers it for a whole report).
#pragma once

#include "base/TextReader.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class Messages;

// Result encoding of the key-line search: a match of the key text gives the
// number of lines read (1 to 10,000,000), a match of the alternative key text
// that number negated, a match of the end key text that number plus
// 10,000,000; 0 means no line matched before the end of the file.
inline constexpr int64_t kEndKeyOffset = 10'000'000;

struct KeyTexts {
    std::string_view key;
    std::string_view alternative;
    std::string_view endKey;
    std::string_view exclusion;
};

// What the key-line search answers for `searched` as the `count`-th line read:
// the result encoding above, or 0 when no key matches or the exclusion text
// is there too (the search then goes on with the next line).
int64_t KeyLineAnswer(std::string_view searched, const KeyTexts& keys, int64_t count);

// The key-line search on an open file, from its current position. With a width
// above 0 only `width` characters from 1-based `startColumn` are searched.
int64_t find_key_line(TextReader& file, const KeyTexts& keys, int32_t startColumn = 0,
                      int32_t width = 0);

// Number of lines that hold any of the keys and not the exclusion text.
int64_t file_count_key_lines(const std::filesystem::path& fileName, const KeyTexts& keys);

// The tab sizes a user may choose, in the options dialog and on the command
// line: larger ones would turn one tab into a needlessly long stretch of blanks.
inline constexpr int32_t kSmallestTabSize = 1;
inline constexpr int32_t kLargestTabSize = 64;
// The most characters a line can expand to: the longest line, all tabs.
inline constexpr int32_t kLongestExpandedLine =
    static_cast<int32_t>(kLongestLine) * kLargestTabSize;

// The line with its tabs expanded, into a buffer the caller reuses; a line
// without tabs is copied. Tab stops lie at positions 1 + k * tabSize; see the
// algorithm in the .cpp. A tab size of 0 or below leaves the line as it is.
// `oneBytePerChar` counts bytes as characters (Windows-1252 bytes as the file
// holds them); otherwise the line is UTF-8.
void ExpandTabsInto(std::string& out, std::string_view line, int32_t tabSize,
                    bool oneBytePerChar = false);

} // namespace vok
