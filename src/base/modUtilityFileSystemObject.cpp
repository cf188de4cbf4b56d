#include "base/modUtilityFileSystemObject.h"

#include "base/modUtilityFile.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <system_error>

namespace vok {

namespace {

// The last element's text and where it starts; separators at the very end
// are not part of it ("/data/in/" has the element "in").
std::string_view LastElement(std::string_view text, size_t& start) {
    size_t end = text.size();
    while (end > 1 && text[end - 1] == '/')
        --end;
    const size_t slash = text.substr(0, end).rfind('/');
    start = slash == std::string_view::npos ? 0 : slash + 1;
    return text.substr(start, end - start);
}

} // namespace

std::filesystem::path GetParentFolderName(const std::filesystem::path& path) {
    const std::string_view text = path.native();
    size_t start;
    LastElement(text, start);
    if (start == 0) return {};
    size_t cut = start - 1;
    while (cut > 0 && text[cut - 1] == '/')
        --cut;
    // A root keeps its separator.
    if (cut == 0) return std::filesystem::path(std::string(text.substr(0, 1)));
    return std::filesystem::path(std::string(text.substr(0, cut)));
}

std::string GetBaseName(const std::filesystem::path& path) {
    size_t start;
    const std::string_view name = LastElement(path.native(), start);
    const size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string_view WithoutExtension(std::string_view path) {
    size_t start;
    const std::string_view name = LastElement(path, start);
    const size_t dot = name.rfind('.');
    return path.substr(0, start + (dot == std::string_view::npos ? name.size() : dot));
}

std::string GetExtensionName(const std::filesystem::path& path) {
    size_t start;
    const std::string_view name = LastElement(path.native(), start);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

bool FolderExistsFso(const std::filesystem::path& folder) {
    return FolderExists(folder);
}

void MakeFolderPath(const std::filesystem::path& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
}

bool ListFolder(const std::filesystem::path& folder, FolderListing& listing, std::string& error) {
    listing = {};
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        std::error_code typeError;
        const std::filesystem::directory_entry& entry = *it;
        const std::string& full = entry.path().native();
        std::string name = full.substr(full.rfind('/') + 1);
        if (entry.is_directory(typeError))
            listing.subFolders.push_back({std::move(name), entry.is_symlink(typeError)});
        else if (entry.is_regular_file(typeError))
            listing.files.push_back(std::move(name));
    }
    if (ec) {
        // A listing that broke off halfway would silently drop reports.
        error = ec.message();
        return false;
    }
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.subFolders.begin(), listing.subFolders.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return true;
}

bool IdentifyFolder(const std::filesystem::path& folder, FolderIdentity& identity) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return false;
    identity.device = static_cast<uint64_t>(info.st_dev);
    identity.inode = static_cast<uint64_t>(info.st_ino);
    return true;
}

} // namespace vok
