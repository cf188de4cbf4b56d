#include "app/ProgramFolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace vok {

ProgramFolderLock::ProgramFolderLock(const std::filesystem::path& lockFile) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return; // a folder that cannot hold the lock cannot hold the working files either
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

ProgramFolderLock::~ProgramFolderLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

} // namespace vok
