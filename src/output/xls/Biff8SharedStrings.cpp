#include "output/xls/Biff8SharedStrings.h"

#include "output/workbook/Utf16Text.h"
#include "output/xls/Biff8Stream.h"

#include <algorithm>

namespace vok {

namespace {

using namespace biff8;

constexpr size_t kStringHeader = 3; // character count u16, flags u8

} // namespace

uint32_t Biff8SharedStrings::Add(std::string_view utf8) {
    ++references_;
    const auto [it, added] = index_.try_emplace(utf8, UniqueCount());
    if (added) {
        const size_t first = units_.size();
        AppendUtf16(units_, utf8);
        start_.push_back(static_cast<uint32_t>(units_.size()));
        wide_.push_back(
            BiffRecordBuffer::NeedsWideCharacters(std::u16string_view(units_).substr(first)));
    }
    return it->second;
}

std::u16string_view Biff8SharedStrings::String(uint32_t index) const {
    return std::u16string_view(units_).substr(start_[index], start_[index + 1] - start_[index]);
}

uint32_t Biff8SharedStrings::StringsPerBucket(uint32_t unique) {
    return std::max<uint32_t>(8, (unique + 127) / 128);
}

uint32_t Biff8SharedStrings::AddStored(const Biff8StoredString& stored) {
    const auto index = UniqueCount();
    units_.append(stored.characters);
    start_.push_back(static_cast<uint32_t>(units_.size()));
    wide_.push_back(stored.wide || BiffRecordBuffer::NeedsWideCharacters(stored.characters));
    if (stored.runs.empty() && stored.extended.empty()) {
        std::string& text = storedTexts_.emplace_back();
        AppendUtf16AsUtf8(text, stored.characters);
        index_.try_emplace(text, index);
    } else {
        extra_[index] = {extras_.size(), static_cast<uint16_t>(stored.runs.size() / 4),
                         static_cast<uint32_t>(stored.extended.size())};
        extras_.append(stored.runs.substr(0, stored.runs.size() / 4 * 4));
        extras_.append(stored.extended);
    }
    return index;
}

void Biff8SharedStrings::Write(BiffRecordBuffer& out) const {
    const uint32_t perBucket = StringsPerBucket(UniqueCount());
    std::vector<BucketStart> buckets;

    // 1. SST header: references, then distinct strings.
    out.Begin(kSst);
    out.U32(references_);
    out.U32(UniqueCount());

    // 2. The strings, noting where every bucket's first one begins.
    for (uint32_t i = 0; i < UniqueCount(); ++i)
        WriteString(out, i, i % perBucket == 0 ? &buckets.emplace_back() : nullptr);
    out.End();

    // 3. EXTSST.
    WriteExtSst(out, buckets);
}

void Biff8SharedStrings::WriteString(BiffRecordBuffer& out, uint32_t index,
                                     BucketStart* bucket) const {
    constexpr size_t kMax = BiffRecordBuffer::kMaxRecordData;
    const std::u16string_view text = String(index);
    const bool wide = wide_[index];
    const size_t charSize = wide ? 2 : 1;
    const auto found = extra_.find(index);
    const Extra extra = found == extra_.end() ? Extra{0, 0, 0} : found->second;
    const size_t header = kStringHeader + (extra.runs ? 2 : 0) + (extra.extended ? 4 : 0);

    // 1. The header and the first character go into one record: start a
    //    CONTINUE record when they do not fit.
    const size_t firstPart = header + (text.empty() ? 0 : charSize);
    if (out.RecordDataSize() + firstPart > kMax) {
        out.End();
        out.Begin(kContinue);
    }
    // 2. Some readers (the cell reader vok uses among them) expect a
    //    string's characters to end in the record after its header's: a
    //    long string starts a fresh record when that keeps it within two.
    auto withinTwo = [&](size_t used) {
        return (kMax - used - header) / charSize + (kMax - 1) / charSize;
    };
    if (out.RecordDataSize() > 0 && text.size() > withinTwo(out.RecordDataSize()) &&
        text.size() <= withinTwo(0)) {
        out.End();
        out.Begin(kContinue);
    }
    if (bucket) {
        *bucket = {static_cast<uint32_t>(out.Size()),
                   static_cast<uint16_t>(out.Size() - out.RecordStart())};
    }
    out.U16(static_cast<uint16_t>(text.size()));
    out.U8(static_cast<uint8_t>((wide ? 1 : 0) | (extra.runs ? 0x08 : 0) |
                                (extra.extended ? 0x04 : 0)));
    if (extra.runs) out.U16(extra.runs);
    if (extra.extended) out.U32(extra.extended);

    // 3. Characters, as many as fit whole; the rest goes on in CONTINUE
    //    records that begin with the flags byte again.
    std::u16string_view rest = text;
    for (;;) {
        const size_t fit = (kMax - out.RecordDataSize()) / charSize;
        const size_t take = std::min(fit, rest.size());
        out.Characters(rest.substr(0, take), wide);
        rest.remove_prefix(take);
        if (rest.empty()) break;
        out.End();
        out.Begin(kContinue);
        out.U8(wide ? 1 : 0);
    }
    // 4. Formatting runs (never cut) and extended data go on without a flags byte.
    const std::string_view extras = std::string_view(extras_).substr(extra.offset);
    WriteExtras(out, extras.substr(0, size_t{extra.runs} * 4), 4);
    WriteExtras(out, extras.substr(size_t{extra.runs} * 4, extra.extended), 1);
}

void Biff8SharedStrings::WriteExtras(BiffRecordBuffer& out, std::string_view bytes,
                                     size_t unit) const {
    while (!bytes.empty()) {
        const size_t fit = (BiffRecordBuffer::kMaxRecordData - out.RecordDataSize()) / unit * unit;
        if (fit == 0) {
            out.End();
            out.Begin(kContinue);
            continue;
        }
        const size_t take = std::min(fit, bytes.size());
        out.Raw(bytes.substr(0, take));
        bytes.remove_prefix(take);
    }
}

void Biff8SharedStrings::WriteExtSst(BiffRecordBuffer& out,
                                     const std::vector<BucketStart>& buckets) const {
    out.Begin(kExtSst);
    out.U16(static_cast<uint16_t>(StringsPerBucket(UniqueCount())));
    for (const BucketStart& bucket : buckets) {
        out.U32(bucket.streamOffset);
        out.U16(bucket.recordOffset);
        out.U16(0);
    }
    out.End();
}

} // namespace vok

namespace vok {

namespace {

// Reads the bytes of a table as one sequence over its records: a string's
// characters that go on into the next record start it with a new flags byte,
// everything else runs on over record boundaries unmarked.
class StoredTableReader {
public:
    explicit StoredTableReader(const std::vector<std::string_view>& records) : records_(records) {}

    bool AtRecordEnd() const { return position_ == records_[record_].size(); }
    bool NextRecord() {
        if (record_ + 1 >= records_.size()) return false;
        ++record_;
        position_ = 0;
        return true;
    }
    // `count` bytes as a little-endian number.
    bool Read(int count, uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            while (AtRecordEnd()) {
                if (!NextRecord()) return false;
            }
            value |= uint32_t{static_cast<unsigned char>(records_[record_][position_++])}
                     << (8 * i);
        }
        return true;
    }
    // Appends `count` bytes to `bytes`.
    bool Copy(size_t count, std::string& bytes) {
        while (count > 0) {
            while (AtRecordEnd()) {
                if (!NextRecord()) return false;
            }
            const size_t take = std::min(count, records_[record_].size() - position_);
            bytes.append(records_[record_].substr(position_, take));
            position_ += take;
            count -= take;
        }
        return true;
    }
    // `count` characters, starting `wide` or not; a record they go on into
    // says again how wide they are.
    bool Characters(size_t count, bool& wide, std::u16string& units) {
        units.clear();
        while (units.size() < count) {
            if (AtRecordEnd()) {
                uint32_t flags = 0;
                if (!NextRecord() || !Read(1, flags)) return false;
                wide = flags & 1;
            }
            const std::string_view data = records_[record_];
            const size_t take =
                std::min(count - units.size(), (data.size() - position_) / (wide ? 2 : 1));
            if (take == 0) return false; // half a character
            for (size_t c = 0; c < take; ++c) {
                units.push_back(
                    wide ? static_cast<char16_t>(biff8::Le16(data, position_ + 2 * c))
                         : static_cast<char16_t>(static_cast<unsigned char>(data[position_ + c])));
            }
            position_ += take * (wide ? 2 : 1);
        }
        return true;
    }

private:
    const std::vector<std::string_view>& records_;
    size_t record_ = 0;
    size_t position_ = 8; // after the counts of references and strings
};

} // namespace

bool Biff8SharedStrings::Read(const std::vector<std::string_view>& records,
                              const std::function<void(const Biff8StoredString&)>& visit) {
    if (records.empty() || records[0].size() < 8) return records.empty();
    StoredTableReader reader(records);
    const uint32_t unique = biff8::Le32(records[0], 4);
    std::u16string units;
    std::string extras;
    for (uint32_t i = 0; i < unique; ++i) {
        // 1. The header.
        uint32_t count = 0, flags = 0, runs = 0, extended = 0;
        if (!reader.Read(2, count) || !reader.Read(1, flags)) return false;
        if ((flags & 0x08) && !reader.Read(2, runs)) return false;
        if ((flags & 0x04) && !reader.Read(4, extended)) return false;
        // 2. The characters, then the formatting runs and the extended data.
        bool wide = flags & 1;
        const bool startedWide = wide;
        extras.clear();
        if (!reader.Characters(count, wide, units) || !reader.Copy(size_t{runs} * 4, extras) ||
            !reader.Copy(extended, extras)) {
            return false;
        }
        const std::string_view stored(extras);
        visit({units, startedWide || wide, stored.substr(0, size_t{runs} * 4),
               stored.substr(size_t{runs} * 4)});
    }
    return true;
}

} // namespace vok
