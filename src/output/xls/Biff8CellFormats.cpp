#include "output/xls/Biff8CellFormats.h"

#include "output/workbook/Utf16Text.h"
#include "output/xls/Biff8NumberFormats.h"
#include "output/xls/Biff8Stream.h"
#include "output/xls/Biff8Writer.h"

#include <algorithm>

namespace vok {

namespace {

using namespace biff8;

constexpr size_t kXfSize = 20;
// XF 0 is the Normal style, 1 to 14 the outline styles, 15 the default cell
// format.
constexpr uint16_t kDefaultCellXf = Biff8Writer::kDefaultCellXf;

// The data of an XF record as vok writes it.
std::string XfData(uint16_t formatId, bool styleXf, uint8_t usedAttributes) {
    BiffRecordBuffer xf;
    Biff8Writer::WriteXf(xf, formatId, styleXf, usedAttributes);
    return xf.Bytes().substr(4);
}

// A cell XF, not a style: its style flag is clear.
bool IsCellXf(std::string_view xf) {
    return xf.size() >= kXfSize && (Le16(xf, 4) & 0x0004) == 0;
}

} // namespace

void Biff8CellFormats::AddFormatRecord(std::string_view data) {
    std::string code;
    if (data.size() < 2 || !ReadBiffString(data, 2, false, code)) return;
    formats_.emplace_back(Le16(data, 0), std::move(code));
    existingFormats_ = formats_.size();
}

void Biff8CellFormats::AddXfRecord(std::string_view data) {
    xfs_.emplace_back(data);
    existingXfs_ = xfs_.size();
}

void Biff8CellFormats::FillDefaults() {
    if (filled_) return;
    filled_ = true;
    // The 16 every workbook holds, as in a new one.
    for (size_t index = xfs_.size(); index <= kDefaultCellXf; ++index) {
        xfs_.push_back(
            XfData(0, index < kDefaultCellXf, index == 0 || index == kDefaultCellXf ? 0x00 : 0xF4));
    }
}

uint16_t Biff8CellFormats::DefaultCellXf() {
    FillDefaults();
    if (!defaultCellXf_) {
        defaultCellXf_ = IsCellXf(xfs_[kDefaultCellXf])
                             ? kDefaultCellXf
                             : FindOrAdd(XfData(0, false, 0x00), kDefaultCellXf);
    }
    return *defaultCellXf_;
}

uint16_t Biff8CellFormats::FindOrAdd(std::string xf, uint16_t fallback) {
    const auto same = std::find(xfs_.begin() + kDefaultCellXf, xfs_.end(), xf);
    if (same != xfs_.end()) return static_cast<uint16_t>(same - xfs_.begin());
    if (xfs_.size() >= Biff8Writer::kMaxXfRecords) return fallback;
    xfs_.push_back(std::move(xf));
    return static_cast<uint16_t>(xfs_.size() - 1);
}

std::optional<uint16_t> Biff8CellFormats::FormatIdFor(std::string_view code) {
    // 1. A format the workbook holds already, under its own number.
    const auto same = std::find_if(formats_.begin(), formats_.end(),
                                   [&](const auto& format) { return format.second == code; });
    if (same != formats_.end()) return same->first;
    // 2. A built-in number, unless the workbook gives that number a code of its own.
    if (const auto builtIn = BuiltInFormatId(code)) {
        const bool redefined =
            std::any_of(formats_.begin(), formats_.end(),
                        [&](const auto& format) { return format.first == *builtIn; });
        if (!redefined) return builtIn;
    }
    // 3. A new FORMAT record after the highest number in use.
    if (Utf16Length(code) > Biff8Writer::kMaxFormatCodeLength) return std::nullopt;
    uint16_t highest = kFirstCustomFormatId - 1;
    for (const auto& format : formats_)
        highest = std::max(highest, format.first);
    if (highest == UINT16_MAX) return std::nullopt;
    formats_.emplace_back(static_cast<uint16_t>(highest + 1), std::string(code));
    return formats_.back().first;
}

uint16_t Biff8CellFormats::XfFor(uint16_t base, std::string_view code) {
    // 1. A style, or no XF at all, is no look to keep: the default cell format.
    FillDefaults();
    if (base >= xfs_.size() || !IsCellXf(xfs_[base])) base = DefaultCellXf();
    if (code.empty() || !IsCellXf(xfs_[base])) return base;
    const std::optional<uint16_t> format = FormatIdFor(code);
    if (!format || Le16(xfs_[base], 2) == *format) return base;
    // 2. The base's look with the number format, once per pair.
    const auto [known, added] = derived_.try_emplace({base, *format}, base);
    if (!added) return known->second;
    std::string xf = xfs_[base];
    PutLe16(xf, 2, *format);
    xf[9] = static_cast<char>(xf[9] | 0x04); // the number format differs from the style's
    // 3. An XF of the workbook that looks so already, else a new one.
    known->second = FindOrAdd(std::move(xf), base);
    return known->second;
}

void Biff8CellFormats::WriteNewFormats(BiffRecordBuffer& out) const {
    std::u16string code;
    for (size_t i = existingFormats_; i < formats_.size(); ++i) {
        code.clear();
        AppendUtf16(code, formats_[i].second);
        out.Begin(kFormat);
        out.U16(formats_[i].first);
        out.UnicodeString(code);
        out.End();
    }
}

void Biff8CellFormats::WriteNewXfs(BiffRecordBuffer& out) {
    FillDefaults();
    for (size_t i = existingXfs_; i < xfs_.size(); ++i) {
        out.Begin(kXf);
        out.Raw(xfs_[i]);
        out.End();
    }
}

} // namespace vok
