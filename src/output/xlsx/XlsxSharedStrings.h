// The shared-string table of an .xlsx workbook (xl/sharedStrings.xml), read
// into one text arena. Rich-text runs are joined; phonetic runs are left out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class XlsxSharedStrings {
public:
    bool Parse(std::string_view xml, std::string& error);
    size_t Size() const { return spans_.size(); }
    // The string at `index`; false when there is none.
    bool Get(size_t index, std::string_view& text) const;

    struct Span {
        size_t offset;
        uint32_t length;
    };

private:
    std::string arena_;
    std::vector<Span> spans_;
};

} // namespace vok
