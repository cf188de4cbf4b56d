#include "job/ProgramFolderLock.h"

#include "job/LockWait.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vok {

ProgramFolderLock::ProgramFolderLock(const std::filesystem::path& lockFile,
                                     const std::function<void()>& waiting,
                                     const std::function<bool()>& giveUp) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // Another user's lock file in a shared folder is read-only to this one;
    // a lock through a read-only descriptor still makes the two take turns.
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return; // a folder that cannot hold the lock cannot hold the working files either
    if (TakeExclusiveLock(fd_, waiting, giveUp) != LockTaken::GaveUp) return;
    ::close(fd_);
    fd_ = -1;
    throw Stopped();
}

ProgramFolderLock::~ProgramFolderLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

} // namespace vok
