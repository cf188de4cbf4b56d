#include "job/OutputFolderLock.h"

#include "base/AtomicFile.h"
#include "job/LockWait.h"

#include <fcntl.h>
#include <unistd.h>

namespace vok {

OutputFolderLock::OutputFolderLock(const std::filesystem::path& output,
                                   const std::function<void(const std::filesystem::path&)>& waiting,
                                   const std::function<bool()>& giveUp)
    : folder_(SaveFolder(output)) {
    // The folder rather than the workbook: a workbook that does not exist yet
    // is made by the save, and a saved one is a new file under the old name.
    fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    const LockTaken taken = TakeExclusiveLock(
        fd_, [&] { waiting(folder_); }, giveUp);
    if (taken == LockTaken::Held) return;
    // No locks here (some network file systems): as before. Or stopped.
    stopped_ = taken == LockTaken::GaveUp;
    ::close(fd_);
    fd_ = -1;
}

OutputFolderLock::~OutputFolderLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

} // namespace vok
