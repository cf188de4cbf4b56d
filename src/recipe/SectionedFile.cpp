#include "recipe/SectionedFile.h"

#include "base/Messages.h"
#include "base/TextEncoding.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace vok {

namespace {

// A header holds "[" and, at least two characters after it, the line's first "]".
bool IsSectionHeader(std::string_view line, std::string_view& name) {
    const size_t open = line.find('[');
    if (open == std::string_view::npos) return false;
    const size_t close = line.find(']');
    if (close == std::string_view::npos || close < open + 2) return false;
    name = Trim(line.substr(open + 1, close - open - 1));
    return true;
}

std::string_view TrimByMode(std::string_view value, int32_t trimMode) {
    if (trimMode == kTrimLeading) return TrimLeft(value);
    if (trimMode == kTrimTrailing) return TrimRight(value);
    return Trim(value);
}

} // namespace

bool FindSection(TextReader& file, std::string_view section) {
    std::string_view line;
    for (;;) {
        if (!file.ReadLine(line)) return false;
        std::string_view name;
        if (IsSectionHeader(line, name) && name == section) return true;
    }
}

std::string ReadIniValue(TextReader& file, std::string_view section, std::string_view key,
                         std::string_view defaultValue, int32_t trimMode) {
    // 1. The result starts as the default.
    std::string result(defaultValue);
    if (!file.IsOpen()) return result;
    std::string_view line;
    // 2. Section search, unless the search goes on in the current section.
    if (!section.empty() && !FindSection(file, section)) return result;
    // 3. Key search: the first line that mentions the key and has "=" decides.
    while (file.ReadLine(line)) {
        if (line.find('[') != std::string_view::npos) return result;
        if (line.find(key) == std::string_view::npos) continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (Trim(line.substr(0, eq)) != key) return result;
        std::string_view value = line.substr(eq + 1);
        const size_t semicolon = line.find(';');
        if (semicolon != std::string_view::npos && semicolon > eq) {
            value = line.substr(eq + 1, semicolon - eq - 1);
        }
        if (!Trim(value).empty()) result.assign(TrimByMode(value, trimMode));
        return result;
    }
    return result;
}

std::string GetIniValueEx(const std::filesystem::path& fileName, std::string_view section,
                          std::string_view key, std::string_view defaultValue, int32_t trimMode) {
    TextReader file(fileName);
    if (!file.IsOpen()) return {};
    return ReadIniValue(file, section, key, defaultValue, trimMode);
}

std::string GetIniValue(const std::filesystem::path& fileName, std::string_view section,
                        std::string_view key, std::string_view defaultValue) {
    return GetIniValueEx(fileName, section, key, defaultValue, kTrimBoth);
}

bool FileHeaderIsInvalid(Messages& messages, const std::filesystem::path& fileName,
                         std::string_view product, std::string_view fileType,
                         std::string_view fileFormat) {
    const struct {
        std::string_view key;
        std::string_view expected;
        std::string_view message;
    } checks[] = {{"Product", product, "Incorrect product code!"},
                  {"FileType", fileType, "Incorrect file type!"},
                  {"FileFormat", fileFormat, "Incorrect file format!"}};
    for (const auto& check : checks) {
        const std::string value = GetIniValue(fileName, "Header", check.key, kMissing);
        if (AsciiUpper(Trim(value)) != AsciiUpper(check.expected)) {
            messages.Show(check.message, MessageIcon::Critical);
            return true;
        }
    }
    return false;
}

bool ReadIntegerKey(Messages& messages, std::string_view value, std::string_view section,
                    std::string_view key, int32_t& result) {
    if (ParseWholeNumber(value, result)) return true;
    std::string text = "Error in ";
    text.append(section).append(" : ").append(key).append(" is not a whole number: ");
    text.append(value);
    messages.Show(text, MessageIcon::Critical);
    return false;
}

int64_t CountFileLines(const std::filesystem::path& fileName) {
    if (!FileExists(fileName)) return 0;
    TextReader file(fileName);
    return file.SkipLines(INT64_MAX);
}

std::string ReadFileAsText(const std::filesystem::path& fileName) {
    if (!FileExists(fileName)) return {};
    TextReader file(fileName);
    std::string text;
    std::string_view line;
    bool first = true;
    while (file.ReadLine(line)) {
        if (!first) text.append("\r\n");
        text.append(line);
        first = false;
    }
    return text;
}

bool WriteLineToFile(const std::filesystem::path& fileName, std::string_view text, bool append) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> out(std::fopen(fileName.c_str(), append ? "ab" : "wb"));
    if (!out) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), out.get()) == text.size() &&
                         std::fwrite("\r\n", 1, 2, out.get()) == 2;
    return std::fclose(out.release()) == 0 && written;
}

void RepeatString(std::string& output, std::string_view piece, int64_t count) {
    output.clear();
    for (int64_t i = 0; i < count; ++i)
        output.append(piece);
}

std::string ReverseString(std::string_view text) {
    std::u32string chars = ToUtf32(text);
    return ToUtf8(std::u32string(chars.rbegin(), chars.rend()));
}

bool CollectionItemSet(Messages& messages, std::vector<std::string>& collection, int64_t index,
                       std::string value) {
    if (index < 1 || index > static_cast<int64_t>(collection.size())) {
        messages.Show("Invalid Index in CollectionItemSet!", MessageIcon::Critical);
        return false;
    }
    collection[static_cast<size_t>(index - 1)] = std::move(value);
    return true;
}

} // namespace vok
