// File and folder tests and the folder part of a path.
//
// Paths are kept as the user wrote them; a backslash means the platform's
// separator and becomes "/" only where the file system sees the path.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vok {

// The path the file system understands: every "\" turned into "/".
std::filesystem::path NativePath(std::string_view path);

// True for an existing file (hidden ones included); false for "", folders,
// wild-card patterns and anything that cannot be examined.
bool FileExists(std::string_view path);

// True for an existing folder.
bool FolderExists(std::string_view folder);

// Everything up to and including the last separator; "" when there is none.
std::string FolderOfPath(std::string_view path);

bool IsRegularFile(std::string_view path);

// Joins a folder and a name with one separator between them.
std::string JoinPath(std::string_view folder, std::string_view name);

inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace vok
