// Searches over raw bytes that run for every byte of a report, sixteen bytes
// at a time where the processor allows it.
#pragma once

#include <cstddef>
#include <string_view>

namespace vok {

// The index of the first CR or LF in p[0 .. n); n when there is none.
size_t FindLineEnd(const char* p, size_t n);

// The index of the first byte with its high bit set; n when there is none.
size_t FirstNonAscii(const char* p, size_t n);

// The index of the first occurrence of `needle` (not empty) in p[0 .. n);
// n when there is none.
size_t FindBytes(const char* p, size_t n, std::string_view needle);

} // namespace vok
