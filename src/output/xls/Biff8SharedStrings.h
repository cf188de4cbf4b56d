// The shared string table (SST) of an .xls workbook: every distinct cell text
// once, referenced by LABELSST cells through its index.
//
// Writing splits the table over CONTINUE records as the format demands: a
// string's header stays with its first character, a string carried on into a
// CONTINUE record starts it with a fresh flags byte, and a two-byte character
// is never cut. EXTSST then points at every bucket's first string.
//
// The strings of an existing workbook's table can be taken over as they
// stand, with their formatting runs and extended (phonetic) data.
#pragma once

#include "output/xls/BiffRecordBuffer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vok {

// One string of a table as a file stores it.
struct Biff8StoredString {
    std::u16string_view characters;
    bool wide = false;         // stored two bytes a character
    std::string_view runs;     // formatting runs, 4 bytes each
    std::string_view extended; // extended (phonetic) data
};

class Biff8SharedStrings {
public:
    // The index of the text (UTF-8), adding it on first use; counts one
    // reference. The text must stay valid while this object lives.
    uint32_t Add(std::string_view utf8);

    // Takes over a string of an existing table, counting no reference; a
    // plain one is found again by Add. Its index.
    uint32_t AddStored(const Biff8StoredString& stored);
    // Counts references made by cells that keep their index.
    void AddReferences(uint32_t count) { references_ += count; }

    uint32_t UniqueCount() const { return static_cast<uint32_t>(wide_.size()); }
    std::u16string_view String(uint32_t index) const;

    // Appends SST with its CONTINUE records, then EXTSST. The buffer's offsets
    // are taken as stream offsets.
    void Write(BiffRecordBuffer& out) const;

    // Strings per EXTSST bucket for a table of `unique` strings (at least 8, at
    // most 128 buckets).
    static uint32_t StringsPerBucket(uint32_t unique);

    // Reads the strings of an existing table from the data of its SST record
    // and of the CONTINUE records after it, calling visit for each in order.
    // False when the strings run past their records.
    static bool Read(const std::vector<std::string_view>& records,
                     const std::function<void(const Biff8StoredString&)>& visit);

private:
    struct BucketStart {
        uint32_t streamOffset;
        uint16_t recordOffset;
    };
    // What a stored string carries beyond its characters: `runs` runs and
    // `extended` bytes, one after the other at `offset` in extras_.
    struct Extra {
        size_t offset;
        uint16_t runs;
        uint32_t extended;
    };
    void WriteString(BiffRecordBuffer& out, uint32_t index, BucketStart* bucket) const;
    void WriteExtras(BiffRecordBuffer& out, std::string_view bytes, size_t unit) const;
    void WriteExtSst(BiffRecordBuffer& out, const std::vector<BucketStart>& buckets) const;

    std::unordered_map<std::string_view, uint32_t> index_;
    std::u16string units_;           // all strings, one after the other
    std::vector<uint32_t> start_{0}; // string i is units_[start_[i], start_[i + 1])
    std::vector<bool> wide_;         // string i needs two bytes per character
    uint32_t references_ = 0;
    std::unordered_map<uint32_t, Extra> extra_; // by index: stored strings with runs or data
    std::string extras_;
    std::deque<std::string> storedTexts_; // UTF-8 of stored plain strings, for index_
};

} // namespace vok
