// Ctrl+C in command-line mode: a thread of its own waits for the signal and
// turns the first one into the job's stop request; a second one ends the
// program at once. Nothing is shared with a signal handler, so no flag has to
// live outside the objects.
#pragma once

#include <functional>
#include <pthread.h>
#include <thread>

namespace vok {

class InterruptWatcher {
public:
    // Blocks Ctrl+C for every thread of the process and starts waiting for it.
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    // Stops waiting and gives Ctrl+C back its usual effect.
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

private:
    void Watch();

    std::function<void()> onInterrupt_;
    sigset_t previousMask_;
    std::thread thread_;
};

} // namespace vok
