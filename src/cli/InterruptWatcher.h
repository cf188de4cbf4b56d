// Interrupts in command-line mode (SIGINT from Ctrl+C, SIGTERM, SIGHUP): a
// thread of its own waits for them and turns the first one into the job's
// stop request; a second one ends the program at once. Nothing is shared with
// a signal handler, so no flag has to live outside the objects.
#pragma once

#include <atomic>
#include <functional>
#include <pthread.h>
#include <thread>

namespace vok {

class InterruptWatcher {
public:
    // Blocks the interrupts for every thread of the process and starts
    // waiting for them; `onInterrupt` gets the first one's signal number.
    explicit InterruptWatcher(std::function<void(int)> onInterrupt);
    // Finishes, and gives the interrupts back their usual effect.
    ~InterruptWatcher();

    // Stops waiting once the job is over: an interrupt that came meanwhile
    // is taken as the first one when none came before, and no longer stops
    // anything.
    void Finish();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // The first interrupt's signal number, 0 when none came.
    int Signal() const { return signal_.load(std::memory_order_acquire); }
    // The exit status the shell gives a program ended by that signal (130
    // for SIGINT, 143 for SIGTERM, 129 for SIGHUP); 0 when none came.
    int ExitStatus() const { return Signal() == 0 ? 0 : 128 + Signal(); }

private:
    void Watch();

    std::function<void(int)> onInterrupt_;
    std::atomic<int> signal_{0};
    sigset_t previousMask_;
    std::thread thread_;
};

// A file-size limit (ulimit -f) would end the program by SIGXFSZ; ignored,
// the write fails with "File too large" and is reported like a full disk.
void IgnoreFileSizeSignal();

} // namespace vok
