// Helpers the .xls engine's tests share: the records of a Workbook stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace vok::test {

struct Record {
    uint16_t id;
    size_t offset; // of the header
    std::string data;
};

inline uint16_t U16(std::string_view d, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(d[at]) |
                                 (static_cast<unsigned char>(d[at + 1]) << 8));
}
inline uint32_t U32(std::string_view d, size_t at) {
    return U16(d, at) | (uint32_t{U16(d, at + 2)} << 16);
}

// The records up to the zero padding at the end.
inline std::vector<Record> Records(const std::string& stream) {
    std::vector<Record> records;
    size_t pos = 0;
    while (pos + 4 <= stream.size()) {
        const uint16_t id = U16(stream, pos), length = U16(stream, pos + 2);
        if (id == 0 && length == 0) break;
        EXPECT_LE(pos + 4 + length, stream.size());
        records.push_back({id, pos, stream.substr(pos + 4, length)});
        pos += 4 + length;
    }
    return records;
}

inline const Record* Find(const std::vector<Record>& records, uint16_t id, size_t from = 0) {
    for (size_t i = from; i < records.size(); ++i) {
        if (records[i].id == id) return &records[i];
    }
    return nullptr;
}

} // namespace vok::test
