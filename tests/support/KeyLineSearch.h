// The key-line search on a named file from its first line, as the tests
// drive it; 0 for a missing file.
#pragma once

#include "base/TextAccess.h"
#include "base/modUtilityFile.h"

#include <filesystem>

namespace vok::test {

inline int64_t FindKeyLineInFile(const std::filesystem::path& fileName, const KeyTexts& keys,
                                 int32_t startColumn = 0, int32_t width = 0) {
    if (!FileExists(fileName)) return 0;
    TextReader file(fileName);
    return find_key_line(file, keys, startColumn, width);
}

} // namespace vok::test
