// Spreadsheet column letters: "A" to "Z" are columns 1 to 26, two letters
// count 26 * first + second, so "AA" is 27 and "ZZ" is 702.
//
// The conversions are pure: what was wrong comes back with the value, in the
// designed texts, and the caller shows it (ShowProblems).
#pragma once

#include "base/Outcome.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

// Column 1 to 702 as letters; "" and a problem outside that range.
Checked<std::string> NumToAlpha2(int32_t n);
// One or two letters (either case) as a column number. A bad letter counts
// as 0 and is a problem of its own, so "A1" gives 26 and one problem.
Checked<int32_t> AlphaToNum2(std::string_view letters);

// True when `letters` is made of letters A to Z only (either case), at least one.
bool AreColumnLetters(std::string_view letters);

} // namespace vok
