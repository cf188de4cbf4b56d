// Waiting, as a job waits, for an exclusive lock that another process holds:
// the job says once that it waits, and may give up at any look.
#pragma once

#include <functional>

namespace vok {

enum class LockTaken {
    Held,   // the lock is this descriptor's until it is closed
    NoLock, // the file system takes no locks here: go on as without one
    GaveUp, // `giveUp` answered true while another process held it
};

// Takes an exclusive flock on `fd`. `waiting` is called once if another
// process holds it; `giveUp` is asked while it waits.
LockTaken TakeExclusiveLock(int fd, const std::function<void()>& waiting,
                            const std::function<bool()>& giveUp);

} // namespace vok
