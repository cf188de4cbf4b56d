// The file-system services the job driver and the command line rely on:
// parent folder, base name and extension of a path, folder listings and
// folder creation. Both "\" and "/" separate path elements.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vok {

// The path without its last element ("" for a path of one element); a root
// keeps its separator.
std::string GetParentFolderName(std::string_view path);

// The last element without its extension.
std::string GetBaseName(std::string_view path);

// The text after the last dot of the last element, without the dot.
std::string GetExtensionName(std::string_view path);

bool FolderExistsFso(std::string_view folder);

// Creates the folder with all its missing parents; errors are ignored.
void MakeFolderPath(std::string_view folder);

struct FolderListing {
    std::vector<std::string> files;      // names, in name order
    std::vector<std::string> subFolders; // names, in name order
};

// False when the folder cannot be listed.
bool ListFolder(std::string_view folder, FolderListing& listing);

} // namespace vok
