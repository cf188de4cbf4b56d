#include "output/Biff8SharedStrings.h"

#include "output/Biff8Records.h"
#include "output/Utf16Text.h"

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

void Biff8SharedStrings::Write(BiffRecordBuffer& out) const {
    constexpr size_t kMax = BiffRecordBuffer::kMaxRecordData;
    const uint32_t perBucket = StringsPerBucket(UniqueCount());
    std::vector<BucketStart> buckets;

    // 1. SST header: references, then distinct strings.
    out.Begin(kSst);
    out.U32(references_);
    out.U32(UniqueCount());

    for (uint32_t i = 0; i < UniqueCount(); ++i) {
        const std::u16string_view text = String(i);
        const bool wide = wide_[i];
        const size_t charSize = wide ? 2 : 1;

        // 2. The header and the first character go into one record: start a
        //    CONTINUE record when they do not fit.
        const size_t firstPart = kStringHeader + (text.empty() ? 0 : charSize);
        if (out.RecordDataSize() + firstPart > kMax) {
            out.End();
            out.Begin(kContinue);
        }
        // 3. Some readers (the cell reader vok uses among them) expect a
        //    string's characters to end in the record after its header's: a
        //    long string starts a fresh record when that keeps it within two.
        auto withinTwo = [&](size_t used) {
            return (kMax - used - kStringHeader) / charSize + (kMax - 1) / charSize;
        };
        if (out.RecordDataSize() > 0 && text.size() > withinTwo(out.RecordDataSize()) &&
            text.size() <= withinTwo(0)) {
            out.End();
            out.Begin(kContinue);
        }
        if (i % perBucket == 0) {
            buckets.push_back({static_cast<uint32_t>(out.Size()),
                               static_cast<uint16_t>(out.Size() - out.RecordStart())});
        }
        out.U16(static_cast<uint16_t>(text.size()));
        out.U8(wide ? 1 : 0);

        // 4. Characters, as many as fit whole; the rest goes on in CONTINUE
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
    }
    out.End();

    // 5. EXTSST.
    WriteExtSst(out, buckets);
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
