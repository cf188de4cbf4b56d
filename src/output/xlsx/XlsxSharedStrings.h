// The shared-string table of an .xlsx workbook (xl/sharedStrings.xml). Only
// the strings a sheet asks for are kept, read from the part a block at a time
// up to the last of them: a large table never stands in memory. Rich-text
// runs are joined; phonetic runs are left out.
#pragma once

#include "output/workbook/XmlScanner.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class XlsxSharedStrings {
public:
    // Reads the strings at `wanted` (indexes, ascending, each once) from the
    // part's blocks, given in the encoding expat knows as `encoding`.
    bool Read(const XmlScanner::BlockReader& read, const char* encoding,
              std::vector<uint32_t> wanted, std::string& error);
    // The string at `index`; false when the table has none there (or it
    // was not asked for).
    bool Get(size_t index, std::string_view& text) const;

    struct Span {
        size_t offset;
        uint32_t length;
    };

private:
    std::vector<uint32_t> wanted_;
    std::vector<Span> spans_; // of the wanted strings the table holds, in their order
    std::string arena_;
};

} // namespace vok
