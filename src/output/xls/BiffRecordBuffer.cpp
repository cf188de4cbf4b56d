#include "output/xls/BiffRecordBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vok {

void BiffRecordBuffer::Begin(uint16_t id) {
    recordStart_ = bytes_.size();
    U16(id);
    U16(0);
}

void BiffRecordBuffer::End() {
    const size_t length = RecordDataSize();
    // Callers split long data themselves; a longer record would be unreadable.
    if (length > kMaxRecordData) throw std::logic_error("BIFF record longer than 8224 bytes");
    bytes_[recordStart_ + 2] = static_cast<char>(length & 0xFF);
    bytes_[recordStart_ + 3] = static_cast<char>(length >> 8);
}

void BiffRecordBuffer::U16(uint16_t value) {
    const char b[2] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    bytes_.append(b, 2);
}

void BiffRecordBuffer::U32(uint32_t value) {
    const char b[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                       static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
    bytes_.append(b, 4);
}

void BiffRecordBuffer::F64(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    U32(static_cast<uint32_t>(bits));
    U32(static_cast<uint32_t>(bits >> 32));
}

bool BiffRecordBuffer::NeedsWideCharacters(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
}

void BiffRecordBuffer::ShortUnicodeString(std::u16string_view text) {
    const bool wide = NeedsWideCharacters(text);
    U8(static_cast<uint8_t>(text.size()));
    U8(wide ? 1 : 0);
    Characters(text, wide);
}

void BiffRecordBuffer::UnicodeString(std::u16string_view text) {
    const bool wide = NeedsWideCharacters(text);
    U16(static_cast<uint16_t>(text.size()));
    U8(wide ? 1 : 0);
    Characters(text, wide);
}

void BiffRecordBuffer::Characters(std::u16string_view text, bool wide) {
    if (wide) {
        for (const char16_t c : text)
            U16(c);
    } else {
        for (const char16_t c : text)
            U8(static_cast<uint8_t>(c));
    }
}

void BiffRecordBuffer::PatchU16(size_t offset, uint16_t value) {
    bytes_[offset] = static_cast<char>(value & 0xFF);
    bytes_[offset + 1] = static_cast<char>(value >> 8);
}

void BiffRecordBuffer::PatchU32(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes_[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void BiffRecordBuffer::PadTo(size_t size) {
    if (bytes_.size() < size) bytes_.resize(size, '\0');
}

} // namespace vok
