#include "output/xls/Biff8Stream.h"

#include "output/workbook/Utf16Text.h"

namespace vok::biff8 {

bool ReadBiffString(std::string_view data, size_t offset, bool shortCount, std::string& utf8) {
    const size_t header = shortCount ? 2 : 3;
    if (data.size() < offset + header) return false;
    const size_t count = shortCount ? static_cast<unsigned char>(data[offset]) : Le16(data, offset);
    const bool wide = static_cast<unsigned char>(data[offset + header - 1]) & 1;
    const size_t start = offset + header;
    if (data.size() < start + count * (wide ? 2 : 1)) return false;
    std::u16string units(count, u'\0');
    for (size_t i = 0; i < count; ++i) {
        units[i] = wide ? Le16(data, start + 2 * i)
                        : static_cast<char16_t>(static_cast<unsigned char>(data[start + i]));
    }
    utf8.clear();
    AppendUtf16AsUtf8(utf8, units);
    return true;
}

} // namespace vok::biff8
