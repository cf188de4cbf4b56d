#include "base/TextAccess.h"

#include "base/Messages.h"
#include "base/modUtilityFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace vok {

int64_t KeyLineAnswer(std::string_view searched, const KeyTexts& keys, int64_t count) {
    // An empty key is contained in every non-empty text, an empty text contains nothing.
    auto contains = [&](std::string_view key) {
        return !searched.empty() && searched.find(key) != std::string_view::npos;
    };
    const bool excluded = !keys.exclusion.empty() && contains(keys.exclusion);
    if (excluded) return 0;
    // The key text wins over the alternative, and that over the end key.
    if (contains(keys.key)) return count;
    if (!keys.alternative.empty() && contains(keys.alternative)) return -count;
    if (!keys.endKey.empty() && contains(keys.endKey)) return count + kEndKeyOffset;
    return 0;
}

int64_t find_key_line(TextReader& file, const KeyTexts& keys, int32_t startColumn, int32_t width) {
    // 1. Lines read in this call.
    int64_t count = 0;
    std::string_view line;
    // 2-3. Read on until the end of the file.
    while (file.ReadLine(line)) {
        ++count;
        // 4. The searched text: the column window or the whole line.
        std::string_view searched = line;
        if (width > 0) {
            const size_t start = startColumn > 1 ? static_cast<size_t>(startColumn - 1) : 0;
            if (IsAscii(line)) {
                searched = start < line.size() ? line.substr(start, static_cast<size_t>(width))
                                               : std::string_view{};
            } else {
                searched = CharSubstr(line, start, static_cast<size_t>(width));
            }
        }
        if (const int64_t answer = KeyLineAnswer(searched, keys, count); answer != 0) return answer;
    }
    return 0;
}

int64_t file_count_key_lines(const std::filesystem::path& fileName, const KeyTexts& keys) {
    if (!FileExists(fileName)) return 0;
    TextReader file(fileName);
    int64_t found = 0;
    while (find_key_line(file, keys) != 0)
        ++found;
    return found;
}

void ExpandTabsInto(std::string& out, std::string_view line, int32_t tabSize, bool oneBytePerChar) {
    out.clear();
    // 1. An empty line stays empty. A tab size of 0 or below leaves the tabs as
    // they are: emptying the line would silently lose the report's text.
    if (line.empty()) return;
    if (tabSize <= 0 || line.find('\t') == std::string_view::npos) {
        out.assign(line);
        return;
    }
    // 2. The output's length counts characters, not bytes.
    const bool ascii = oneBytePerChar || IsAscii(line);
    int64_t length = 0;
    int64_t stop = 1;
    // 3. Each tab moves to the first stop beyond both the previous tab's stop and the output.
    for (const char c : line) {
        if (c != '\t') {
            out.push_back(c);
            if (ascii || (static_cast<unsigned char>(c) & 0xC0) != 0x80) ++length;
            continue;
        }
        int64_t next = stop + tabSize;
        while (next <= length)
            next += tabSize;
        const int64_t blanks = next - length - 1;
        if (blanks > 0) {
            out.append(static_cast<size_t>(blanks), ' ');
            length += blanks;
        }
        stop = next;
    }
}

} // namespace vok
