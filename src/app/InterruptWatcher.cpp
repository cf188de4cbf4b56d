#include "app/InterruptWatcher.h"

#include <csignal>
#include <cstdlib>

namespace vok {

namespace {

// SIGUSR2 tells the waiting thread that the job is over.
sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR2);
    return set;
}

} // namespace

InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    thread_ = std::thread([this] { Watch(); });
}

InterruptWatcher::~InterruptWatcher() {
    pthread_kill(thread_.native_handle(), SIGUSR2);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::Watch() {
    const sigset_t set = WatchedSignals();
    bool interrupted = false;
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        if (signal == SIGUSR2) return;
        // A second Ctrl+C: the user wants out now, as the shell's 130 says.
        if (interrupted) std::_Exit(130);
        interrupted = true;
        onInterrupt_();
    }
}

} // namespace vok
