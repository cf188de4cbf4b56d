#include "base/modUtilityFileSystemObject.h"

#include "base/modUtilityFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vok {

namespace {

// Position just past the last separator, ignoring separators at the very end.
size_t LastElementStart(std::string_view path, size_t& elementEnd) {
    elementEnd = path.size();
    while (elementEnd > 1 && IsPathSeparator(path[elementEnd - 1]))
        --elementEnd;
    const size_t pos = path.substr(0, elementEnd).find_last_of("\\/");
    return pos == std::string_view::npos ? 0 : pos + 1;
}

} // namespace

std::string GetParentFolderName(std::string_view path) {
    size_t elementEnd;
    const size_t start = LastElementStart(path, elementEnd);
    if (start == 0) return {};
    size_t cut = start - 1;
    // Keep the separator of a root ("/" or "C:\").
    while (cut > 0 && IsPathSeparator(path[cut - 1]))
        --cut;
    if (cut == 0 || (cut == 2 && path[1] == ':')) return std::string(path.substr(0, cut + 1));
    return std::string(path.substr(0, cut));
}

std::string GetBaseName(std::string_view path) {
    size_t elementEnd;
    const size_t start = LastElementStart(path, elementEnd);
    const std::string_view name = path.substr(start, elementEnd - start);
    const size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string GetExtensionName(std::string_view path) {
    size_t elementEnd;
    const size_t start = LastElementStart(path, elementEnd);
    const std::string_view name = path.substr(start, elementEnd - start);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

bool FolderExistsFso(std::string_view folder) {
    return FolderExists(folder);
}

void MakeFolderPath(std::string_view folder) {
    if (folder.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(NativePath(folder), ec);
}

bool ListFolder(std::string_view folder, FolderListing& listing) {
    listing = {};
    std::error_code ec;
    std::filesystem::directory_iterator it(NativePath(folder), ec);
    if (ec) return false;
    for (const auto& entry : it) {
        std::error_code typeError;
        const std::string name = entry.path().filename().string();
        if (entry.is_directory(typeError))
            listing.subFolders.push_back(name);
        else if (entry.is_regular_file(typeError))
            listing.files.push_back(name);
    }
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.subFolders.begin(), listing.subFolders.end());
    return true;
}

} // namespace vok
