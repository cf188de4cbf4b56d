// The shared string table (SST) of an .xls workbook: every distinct cell text
// once, referenced by LABELSST cells through its index.
//
// Writing splits the table over CONTINUE records as the format demands: a
// string's header stays with its first character, a string carried on into a
// CONTINUE record starts it with a fresh flags byte, and a two-byte character
// is never cut. EXTSST then points at every bucket's first string.
#pragma once

#include "output/BiffRecordBuffer.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vok {

class Biff8SharedStrings {
public:
    // The index of the text (UTF-8), adding it on first use; counts one
    // reference. The text must stay valid while this object lives.
    uint32_t Add(std::string_view utf8);

    uint32_t UniqueCount() const { return static_cast<uint32_t>(wide_.size()); }
    std::u16string_view String(uint32_t index) const;

    // Appends SST with its CONTINUE records, then EXTSST. The buffer's offsets
    // are taken as stream offsets.
    void Write(BiffRecordBuffer& out) const;

    // Strings per EXTSST bucket for a table of `unique` strings (at least 8, at
    // most 128 buckets).
    static uint32_t StringsPerBucket(uint32_t unique);

private:
    struct BucketStart {
        uint32_t streamOffset;
        uint16_t recordOffset;
    };
    void WriteExtSst(BiffRecordBuffer& out, const std::vector<BucketStart>& buckets) const;

    std::unordered_map<std::string_view, uint32_t> index_;
    std::u16string units_;           // all strings, one after the other
    std::vector<uint32_t> start_{0}; // string i is units_[start_[i], start_[i + 1])
    std::vector<bool> wide_;         // string i needs two bytes per character
    uint32_t references_ = 0;
};

} // namespace vok
