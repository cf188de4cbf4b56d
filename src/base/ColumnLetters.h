// Spreadsheet column letters: "A" to "Z" are columns 1 to 26, two letters
// count 26 * first + second, so "AA" is 27 and "ZZ" is 702.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

class Messages;

std::string NumToAlpha2(Messages& messages, int32_t n);
int32_t AlphaToNum2(Messages& messages, std::string_view letters);
std::string NumToAlpha(Messages& messages, int32_t n);
int32_t AlphaToNum(Messages& messages, std::string_view letter);

// True when `letters` is made of letters A to Z only (either case), at least one.
bool AreColumnLetters(std::string_view letters);

} // namespace vok
