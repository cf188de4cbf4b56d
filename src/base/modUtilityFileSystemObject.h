// The file-system services the job driver and the command line rely on:
// parent folder, base name and extension of a path, folder listings and
// folder creation.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// The path without its last element (empty for a path of one element); a
// root keeps its separator.
std::filesystem::path GetParentFolderName(const std::filesystem::path& path);

// The last element without its extension.
std::string GetBaseName(const std::filesystem::path& path);
// The path up to the end of that base name: its folder and base name, as a view.
std::string_view WithoutExtension(std::string_view path);

// The text after the last dot of the last element, without the dot.
std::string GetExtensionName(const std::filesystem::path& path);

bool FolderExistsFso(const std::filesystem::path& folder);

// Creates the folder with all its missing parents; errors are ignored.
void MakeFolderPath(const std::filesystem::path& folder);

struct FolderListing {
    struct SubFolder {
        std::string name;
        bool isLink = false; // reached through a symbolic link
    };
    std::vector<std::string> files;    // names, in name order
    std::vector<SubFolder> subFolders; // in name order
};

// False, with the reason, when the folder cannot be listed.
bool ListFolder(const std::filesystem::path& folder, FolderListing& listing, std::string& error);

// What tells one real folder from another, however it is reached.
struct FolderIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    auto operator<=>(const FolderIdentity&) const = default;
};

// False when the folder cannot be examined.
bool IdentifyFolder(const std::filesystem::path& folder, FolderIdentity& identity);

} // namespace vok
