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

int64_t file_find_key_line(const std::filesystem::path& fileName, const KeyTexts& keys,
                           int32_t startColumn, int32_t width) {
    if (!FileExists(fileName)) return 0;
    TextReader file(fileName);
    return find_key_line(file, keys, startColumn, width);
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

std::string expand_tabs(std::string_view line, int32_t tabSize) {
    std::string out;
    ExpandTabsInto(out, line, tabSize);
    return out;
}

bool file_has_tabs(const std::filesystem::path& fileName) {
    // A tab byte is a tab character in either encoding and never ends a line,
    // so the bytes are searched as they are, without reading lines.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::vector<char> block(1 << 16);
    bool found = false;
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (std::memchr(block.data(), '\t', static_cast<size_t>(got))) {
            found = true;
            break;
        }
    }
    ::close(fd);
    return found;
}

void string_append_repeat(std::string& target, std::string_view piece, int64_t count) {
    for (int64_t i = 0; i < count; ++i)
        target.append(piece);
}

TextReader file_open_for_input(const std::filesystem::path& fileName) {
    return TextReader(fileName);
}

std::string file_read_line(TextReader& file) {
    return std::string(file.ReadLine());
}

void file_close(TextReader& file) {
    file.Close();
}

int64_t file_read(Messages& messages, std::vector<std::string>& lines,
                  const std::filesystem::path& fileName, int64_t startLine, int64_t count) {
    if (startLine < 1) {
        messages.Show(" invalid start_line in utilities.file_read!", MessageIcon::Critical);
        return 0;
    }
    if (count < 1) return 0;
    if (static_cast<int64_t>(lines.size()) < count) lines.resize(static_cast<size_t>(count));
    TextReader file(fileName);
    if (file.SkipLines(startLine - 1) < startLine - 1) return 0;
    int64_t stored = 0;
    std::string_view line;
    while (stored < count && file.ReadLine(line)) {
        lines[static_cast<size_t>(stored)].assign(line);
        ++stored;
    }
    return stored;
}

bool file_write(const std::filesystem::path& fileName, const std::vector<std::string>& lines,
                int64_t count, bool append) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> out(std::fopen(fileName.c_str(), append ? "ab" : "wb"));
    if (!out) return false;
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(lines.size()));
    for (int64_t i = 0; i < n; ++i) {
        const std::string& line = lines[static_cast<size_t>(i)];
        if (std::fwrite(line.data(), 1, line.size(), out.get()) != line.size()) return false;
        if (std::fwrite("\r\n", 1, 2, out.get()) != 2) return false;
    }
    return std::fclose(out.release()) == 0;
}

} // namespace vok
