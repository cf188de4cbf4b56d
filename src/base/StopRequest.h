// A request to stop a running job, safe to set from any thread: the Pause
// button, closing the window and the command line's interrupts set it, the
// job takes it where the program lets window events run (at each file, each
// section, each row).
#pragma once

#include <atomic>
#include <mutex>

namespace vok {

class StopRequest {
public:
    enum class Kind {
        None,
        Pause,     // counts only while an export runs, as the Pause button does
        Stop,      // counts at once and until the job ends (closing the window)
        Interrupt, // as Stop, and no output is put in place any more (a signal)
    };

    void RequestPause() noexcept { Raise(Kind::Pause); }
    void RequestStop() noexcept { Raise(Kind::Stop); }
    // Waits for a rename that is putting an output in place (PutInPlace), so
    // that the output is either untouched or complete when this returns.
    void RequestInterrupt() {
        const std::lock_guard lock(gate_);
        interrupted_.store(true, std::memory_order_release);
        Raise(Kind::Interrupt);
    }

    // The request made since the last call, if any; the strongest wins.
    Kind Take() noexcept {
        // A plain load first: this runs once per row, and nearly always finds nothing.
        if (pending_.load(std::memory_order_relaxed) == 0) return Kind::None;
        return static_cast<Kind>(pending_.exchange(0, std::memory_order_acq_rel));
    }

    // True once an interrupt was requested; it holds until the job ends.
    bool Interrupted() const noexcept { return interrupted_.load(std::memory_order_acquire); }

    // Runs `rename`, which puts an output in place, unless an interrupt came
    // first; an interrupt that comes meanwhile waits for it. False, with
    // `rename` not run, after an interrupt.
    template <class Rename>
    bool PutInPlace(Rename&& rename) const {
        const std::lock_guard lock(gate_);
        if (Interrupted()) return false;
        rename();
        return true;
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
    std::atomic<bool> interrupted_{false};
    mutable std::mutex gate_;
};

} // namespace vok
