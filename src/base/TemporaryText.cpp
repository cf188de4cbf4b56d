#include "base/TemporaryText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vok {

TemporaryText& TemporaryText::operator=(TemporaryText&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

TemporaryText::~TemporaryText() {
    if (fd_ >= 0) ::close(fd_);
}

TemporaryText TemporaryText::Make(std::string& error) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    TemporaryText text;
    // A file without a name where the file system offers it; else a named
    // one, unlinked as soon as it is open.
    text.fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (text.fd_ >= 0) return text;
    std::string name = (folder / "vok-text-XXXXXX").native();
    text.fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (text.fd_ < 0) {
        error = std::strerror(errno);
        return text;
    }
    ::unlink(name.c_str());
    return text;
}

std::filesystem::path TemporaryText::Path() const {
    return "/proc/self/fd/" + std::to_string(fd_);
}

int64_t TemporaryText::Size() const {
    struct stat info {};
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

} // namespace vok
