// A BIFF8 record stream being built in memory: each record is a 16-bit id, a
// 16-bit data length and the data, all little-endian. The buffer's offsets are
// the stream offsets the format refers to (sheet positions, string buckets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

class BiffRecordBuffer {
public:
    // The most data one record holds; longer data goes into CONTINUE records.
    static constexpr size_t kMaxRecordData = 8224;

    // Starts a record; its length is filled in by End.
    void Begin(uint16_t id);
    void End();
    // Bytes of data written since Begin.
    size_t RecordDataSize() const { return bytes_.size() - recordStart_ - 4; }
    // Offset of the current record's header.
    size_t RecordStart() const { return recordStart_; }

    void U8(uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
    void U16(uint16_t value);
    void U32(uint32_t value);
    void F64(double value);
    // Bytes as they are.
    void Raw(std::string_view bytes) { bytes_.append(bytes); }
    // A string with a 8-bit (ShortXLUnicodeString) or 16-bit (XLUnicodeString)
    // count of UTF-16 units, a flags byte and the characters, one byte each when
    // every unit fits in one.
    void ShortUnicodeString(std::u16string_view text);
    void UnicodeString(std::u16string_view text);
    // The characters alone, one byte or two each.
    void Characters(std::u16string_view text, bool wide);

    void PatchU16(size_t offset, uint16_t value);
    void PatchU32(size_t offset, uint32_t value);
    // Pads with zero bytes to at least `size` bytes.
    void PadTo(size_t size);

    size_t Size() const { return bytes_.size(); }
    const std::string& Bytes() const { return bytes_; }
    std::string TakeBytes() { return std::move(bytes_); }

    static bool NeedsWideCharacters(std::u16string_view text);

private:
    std::string bytes_;
    size_t recordStart_ = 0;
};

} // namespace vok
