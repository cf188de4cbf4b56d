#include "job/LockWait.h"

#include <cerrno>
#include <poll.h>
#include <sys/file.h>

namespace vok {

namespace {

// How often a waiting job looks whether it was stopped, or the lock came free.
constexpr int kPollMilliseconds = 10;

} // namespace

LockTaken TakeExclusiveLock(int fd, const std::function<void()>& waiting,
                            const std::function<bool()>& giveUp) {
    // Not a blocking flock: a job stopped while it waits must hear it at once.
    bool told = false;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return LockTaken::Held;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return LockTaken::NoLock;
        if (!told) {
            told = true;
            waiting();
        }
        if (giveUp()) return LockTaken::GaveUp;
        ::poll(nullptr, 0, kPollMilliseconds);
    }
}

} // namespace vok
