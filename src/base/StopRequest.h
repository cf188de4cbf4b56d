// A request to stop a running job, safe to set from any thread: the Pause
// button, Ctrl+C and closing the window set it, the job takes it where the
// program lets window events run (at each file, each section, each row).
#pragma once

#include <atomic>

namespace vok {

class StopRequest {
public:
    enum class Kind {
        None,
        Pause, // counts only while an export runs, as the Pause button does
        Stop,  // counts at once and until the job ends (Ctrl+C, closing the window)
    };

    void RequestPause() noexcept { Raise(Kind::Pause); }
    void RequestStop() noexcept { Raise(Kind::Stop); }

    // The request made since the last call, if any; the strongest wins.
    Kind Take() noexcept {
        // A plain load first: this runs once per row, and nearly always finds nothing.
        if (pending_.load(std::memory_order_relaxed) == 0) return Kind::None;
        return static_cast<Kind>(pending_.exchange(0, std::memory_order_acq_rel));
    }

private:
    void Raise(Kind kind) noexcept {
        int current = pending_.load(std::memory_order_relaxed);
        const int wanted = static_cast<int>(kind);
        while (current < wanted &&
               !pending_.compare_exchange_weak(current, wanted, std::memory_order_acq_rel)) {
        }
    }

    std::atomic<int> pending_{0};
};

} // namespace vok
