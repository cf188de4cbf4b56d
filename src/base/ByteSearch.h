// Searches over raw bytes that run for every byte of a report, sixteen bytes
// at a time where the processor allows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// The index of the first CR or LF in p[0 .. n); n when there is none.
size_t FindLineEnd(const char* p, size_t n);

// The index of the first byte with its high bit set; n when there is none.
size_t FirstNonAscii(const char* p, size_t n);
// The index of the first byte beyond ASCII or tab in p[0 .. n); n when there
// is none: such text reads the same in every encoding, tabs expanded or not.
size_t FirstNonPlain(const char* p, size_t n);

// The index of the first byte in p[0 .. n) that is a, b or c (repeat one to
// look for fewer); n when there is none.
size_t FindAnyOf(const char* p, size_t n, char a, char b, char c);

// The index of the first occurrence of `needle` (not empty) in p[0 .. n);
// n when there is none.
size_t FindBytes(const char* p, size_t n, std::string_view needle);

// A few texts (at most 64, none empty) looked for in many short texts at
// once: each text is read once for all of them, sixteen places at a time.
class ByteNeedles {
public:
    static constexpr size_t kMost = 64;
    explicit ByteNeedles(std::vector<std::string> needles);
    size_t Count() const { return needles_.size(); }
    // Bit k set: needle k occurs in p[0 .. n).
    uint64_t Occurring(const char* p, size_t n) const;

private:
    uint64_t OneByOne(const char* p, size_t n, uint64_t found) const;
    bool At(const char* p, size_t n, size_t at, size_t k) const;

    std::vector<std::string> needles_;
    uint64_t single_ = 0; // needles of one byte, found with memchr
    // Each needle's first and second byte sixteen times over, for a block.
    struct Pair {
        char first[16];
        char second[16];
    };
    std::vector<Pair> pairs_;
};

} // namespace vok
