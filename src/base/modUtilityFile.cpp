#include "base/modUtilityFile.h"

#include "base/modUtilityString.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

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
    // The name as given when nothing was trimmed: no copy of it.
    struct stat info {};
    const int found = trimmed.size() == path.native().size()
                          ? ::stat(path.c_str(), &info)
                          : ::stat(std::string(trimmed).c_str(), &info);
    return found == 0 && S_ISREG(info.st_mode);
}

namespace {

std::string KindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return S_ISREG(mode) ? "" : "a special file";
}

} // namespace

std::string NonFileKind(const std::filesystem::path& path) {
    if (path.empty()) return {};
    return NonFileKind(FileLook::Of(path));
}

std::string NonFileKind(const FileLook& look) {
    return look.Exists() ? KindOfMode(look.info.st_mode) : std::string();
}

FileLook FileLook::Of(const std::filesystem::path& path, bool followLink) {
    FileLook look;
    const int found =
        followLink ? ::stat(path.c_str(), &look.info) : ::lstat(path.c_str(), &look.info);
    if (found != 0) look.error = errno;
    return look;
}

bool FileExists(const std::filesystem::path& path, const FileLook& look) {
    // Blanks around the name, or a pattern: the look was not of the name meant.
    const std::string_view text = path.native();
    if (text.empty() || Trim(text).size() != text.size() ||
        text.find_first_of("*?") != std::string_view::npos)
        return FileExists(path);
    return look.IsFile();
}

std::string NonFileTarget(const std::filesystem::path& path) {
    const std::string kind = NonFileKind(path);
    if (kind.empty()) return kind;
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return kind;
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    return "a link to " + (ec ? std::filesystem::read_symlink(path, ec) : target).string() + ", " +
           kind;
}

namespace {

// `fd` when it is open on a regular file; otherwise closed, and -1 with the
// reason.
int KeepIfRegular(int fd, std::string& error, struct stat& info) {
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "it is " + KindOfMode(info.st_mode) + ", not a file";
        ::close(fd);
        return -1;
    }
    // O_NONBLOCK has no effect on a regular file (open(2)): its reads and
    // writes block as the callers expect, and a call to clear the flag would
    // cost every report of a folder job a system call for nothing.
    return fd;
}

} // namespace

int OpenForAppending(const std::filesystem::path& path, std::string& error) {
    // Without O_NONBLOCK, opening a named pipe waits for a reader.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    struct stat info {};
    return KeepIfRegular(::open(path.c_str(), kFlags, 0666), error, info);
}

int OpenForReading(const std::filesystem::path& path, std::string& error, struct stat* info) {
    if (path.empty()) {
        error = std::strerror(ENOENT);
        return -1;
    }
    // Without O_NONBLOCK, opening a named pipe waits for a writer.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    struct stat found {};
    return KeepIfRegular(::open(path.c_str(), kFlags), error, info ? *info : found);
}

OpenedFile OpenedFile::Of(const std::filesystem::path& path, std::string& error) {
    OpenedFile file;
    file.fd_ = OpenForReading(path, error, &file.info_);
    return file;
}

OpenedFile::~OpenedFile() {
    if (fd_ >= 0) ::close(fd_);
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), info_(other.info_) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        info_ = other.info_;
    }
    return *this;
}

int OpenedFile::Release() {
    return std::exchange(fd_, -1);
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

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (a.empty() || b.empty()) return false;
    struct stat sa {
    }, sb{};
    const int aError = ::stat(a.c_str(), &sa) == 0 ? 0 : errno;
    const int bError = ::stat(b.c_str(), &sb) == 0 ? 0 : errno;
    if (aError == 0 && bError == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    // A name that leads nowhere is not a file that exists (a folder job asks
    // this for every output it has yet to write, so the names are not resolved).
    if ((aError == 0 && bError == ENOENT) || (aError == ENOENT && bError == 0)) return false;
    // Two files that do not exist yet (or cannot be looked at) are the same
    // one only by their resolved names.
    std::error_code ec1, ec2;
    const std::filesystem::path ra = std::filesystem::weakly_canonical(a, ec1);
    const std::filesystem::path rb = std::filesystem::weakly_canonical(b, ec2);
    if (ec1 || ec2) return a.lexically_normal() == b.lexically_normal();
    return ra == rb;
}

} // namespace vok
