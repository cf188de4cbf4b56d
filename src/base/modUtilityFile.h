// File and folder tests and the folder part of a path.
//
// Paths arrive typed: the command line and the desktop's path boxes turn what
// the user typed into a std::filesystem::path once, where it enters the
// program. Nothing here or below converts separators.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace vok {

// The path a text in the switch syntax means: every "\" is a separator.
std::filesystem::path PathFromSwitchSyntax(std::string_view text);

// True for an existing file (hidden ones included); false for an empty path,
// folders, wild-card patterns and anything that cannot be examined. Blanks
// around the name are not part of it.
bool FileExists(const std::filesystem::path& path);

// What a path that exists names when it is no regular file: "a folder", "a
// named pipe (FIFO)", "a character device", "a block device", "a socket".
// Empty for a regular file (or a link to one) and for a path that does not
// exist or cannot be examined.
std::string NonFileKind(const std::filesystem::path& path);

// Opens a regular file for reading: a named pipe or a device is refused
// before anything waits on it. -1 when it cannot, with `error` saying why as
// a user reads it ("Permission denied", "it is a named pipe (FIFO), not a file").
// What keeps an existing `path` from being replaced as an output: "a named
// pipe (FIFO)", or for a link "a link to /dev/full, a character device".
// Empty for a regular file, a link to one, and a path that does not exist.
std::string NonFileTarget(const std::filesystem::path& path);

// Opens a file for appending (a log) and creates it when missing; a named
// pipe or a device is refused before anything waits on it. -1 when it
// cannot, with `error` saying why.
int OpenForAppending(const std::filesystem::path& path, std::string& error);

// `info`, when given, receives what the file was found to be when opened.
int OpenForReading(const std::filesystem::path& path, std::string& error,
                   struct stat* info = nullptr);

// What one look at a name found. A job that converts many files looks at
// each name once and lets every check of the file share the answer: the
// system resolves each name anew, which costs more than the check.
struct FileLook {
    struct stat info {};
    int error = 0; // the look's errno: ENOENT when nothing is at the name

    // A stat of `path`, or, with `followLink` false, an lstat.
    static FileLook Of(const std::filesystem::path& path, bool followLink = true);
    bool Exists() const { return error == 0; }
    bool IsFile() const { return error == 0 && S_ISREG(info.st_mode); }
    bool IsLink() const { return error == 0 && S_ISLNK(info.st_mode); }
};

// FileExists for a path whose look was taken already.
bool FileExists(const std::filesystem::path& path, const FileLook& look);

// NonFileKind of what a look found.
std::string NonFileKind(const FileLook& look);

// A file held open for reading (a regular file, made blocking, as
// OpenForReading opens it), and what the system said of it when opened:
// one opening serves every step that reads it.
class OpenedFile {
public:
    OpenedFile() = default;
    // Not open when the file cannot be opened; `error` says why.
    static OpenedFile Of(const std::filesystem::path& path, std::string& error);
    ~OpenedFile();
    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    const struct stat& Info() const { return info_; }
    // Hands the descriptor over: the caller closes it.
    int Release();

private:
    int fd_ = -1;
    struct stat info_ {};
};

// True for an existing folder.
bool FolderExists(const std::filesystem::path& folder);

// Everything up to and including the last separator; empty when there is none.
std::filesystem::path FolderOfPath(const std::filesystem::path& path);

// True when both paths name one file: the same device and inode when both
// exist (links and hard links included), otherwise the same resolved path.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace vok
