#include "cli/InterruptWatcher.h"

#include <csignal>
#include <cstdlib>

namespace vok {

namespace {

// SIGUSR2 tells the waiting thread that the job is over.
sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR2})
        sigaddset(&set, signal);
    return set;
}

} // namespace

InterruptWatcher::InterruptWatcher(std::function<void(int)> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    thread_ = std::thread([this] { Watch(); });
}

InterruptWatcher::~InterruptWatcher() {
    Finish();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::Finish() {
    if (!thread_.joinable()) return;
    pthread_kill(thread_.native_handle(), SIGUSR2);
    thread_.join();
    // Still blocked, a pending interrupt would end the program by its
    // default action once the mask is given back: it is taken here.
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&set, signal);
    const timespec now{};
    for (int signal = 0; (signal = sigtimedwait(&set, nullptr, &now)) > 0;) {
        int none = 0;
        signal_.compare_exchange_strong(none, signal, std::memory_order_acq_rel);
    }
}

void InterruptWatcher::Watch() {
    const sigset_t set = WatchedSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        if (signal == SIGUSR2) return;
        // A second interrupt: the user wants out now, with the shell's status.
        if (signal_.load(std::memory_order_acquire) != 0) std::_Exit(128 + signal);
        signal_.store(signal, std::memory_order_release);
        onInterrupt_(signal);
    }
}

void IgnoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace vok
