#include "base/SheetNames.h"

#include "base/TextEncoding.h"
#include "base/modUtilityString.h"

namespace vok {

namespace {

// Lower case for sheet-name comparison: ASCII, Latin-1, Greek and Cyrillic
// capitals, which covers the names people type.
char32_t FoldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x391 && c <= 0x3A9) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

} // namespace

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) return EqualsNoCase(a, b);
    std::u32string x = ToUtf32(a), y = ToUtf32(b);
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (FoldCase(x[i]) != FoldCase(y[i])) return false;
    }
    return true;
}

std::string SheetNameFormProblem(std::string_view name) {
    std::string quoted = "\"" + Echo(name) + "\"";
    if (name.empty()) return "A sheet name cannot be empty.";
    if (CharCount(name) > 31) {
        return "The sheet name " + quoted + " is longer than the 31 characters a sheet name holds.";
    }
    size_t bad = name.find_first_of(":\\/?*[]");
    if (bad != std::string_view::npos) {
        return "The sheet name " + quoted + " contains \"" + std::string(1, name[bad]) +
               "\"; a sheet name cannot contain any of : \\ / ? * [ ].";
    }
    if (name.front() == '\'' || name.back() == '\'') {
        return "The sheet name " + quoted + " cannot begin or end with an apostrophe.";
    }
    if (EqualsNoCase(name, "History")) {
        return "The sheet name " + quoted + " is reserved.";
    }
    return {};
}

} // namespace vok
