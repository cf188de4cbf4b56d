#include "base/modUtilityFile.h"

#include "base/modUtilityString.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace vok {

std::filesystem::path PathFromSwitchSyntax(std::string_view text) {
    std::string native(text);
    std::replace(native.begin(), native.end(), '\\', '/');
    return std::filesystem::path(native);
}

bool FileExists(const std::filesystem::path& path) {
    const std::string_view trimmed = Trim(path.native());
    if (trimmed.empty()) return false;
    // A pattern names files but is no file itself.
    if (trimmed.find_first_of("*?") != std::string_view::npos) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(trimmed), ec);
}

bool FolderExists(const std::filesystem::path& folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec);
}

std::filesystem::path FolderOfPath(const std::filesystem::path& path) {
    const std::string& text = path.native();
    const size_t pos = text.rfind('/');
    if (pos == std::string::npos) return {};
    return std::filesystem::path(text.substr(0, pos + 1));
}

} // namespace vok
