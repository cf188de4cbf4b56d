#include "job/OutputFolderLock.h"

#include "base/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace vok {

namespace {

// How often a waiting job looks whether it was stopped, or the lock came free.
constexpr int kPollMilliseconds = 10;

} // namespace

OutputFolderLock::OutputFolderLock(const std::filesystem::path& output,
                                   const std::function<void()>& waiting,
                                   const std::function<bool()>& giveUp)
    : folder_(SaveFolder(output)) {
    // The folder rather than the workbook: a workbook that does not exist yet
    // is made by the save, and a saved one is a new file under the old name.
    fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    bool told = false;
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            // No locks here (some network file systems): as before.
            ::close(fd_);
            fd_ = -1;
            return;
        }
        if (!told) {
            told = true;
            waiting();
        }
        if (giveUp()) {
            stopped_ = true;
            ::close(fd_);
            fd_ = -1;
            return;
        }
        ::poll(nullptr, 0, kPollMilliseconds);
    }
}

OutputFolderLock::~OutputFolderLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

} // namespace vok
