#include "base/modUtilityFile.h"

#include <algorithm>
#include <system_error>

namespace vok {

std::filesystem::path NativePath(std::string_view path) {
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return std::filesystem::path(native);
}

static std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool IsRegularFile(std::string_view path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(NativePath(path), ec);
}

bool FileExists(std::string_view path) {
    const std::string_view trimmed = TrimBlanks(path);
    if (trimmed.empty()) return false;
    // A pattern names files but is no file itself.
    if (trimmed.find_first_of("*?") != std::string_view::npos) return false;
    return IsRegularFile(trimmed);
}

bool FolderExists(std::string_view folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_directory(NativePath(folder), ec);
}

std::string FolderOfPath(std::string_view path) {
    const size_t pos = path.find_last_of("\\/");
    if (pos == std::string_view::npos) return {};
    return std::string(path.substr(0, pos + 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && !IsPathSeparator(joined.back())) joined.push_back('/');
    joined.append(name);
    return joined;
}

} // namespace vok
