#pragma once
// Interruption as an ordinary event: while an InterruptWatch lives, SIGINT and SIGTERM do
// not end the process; a thread of the watch waits for them and records the first, and the
// run polls signal() (one atomic load, cheap enough per marker), stops, lets its destructors
// remove every temporary file, and ends with exit_status() (130 for SIGINT, 143 for SIGTERM).
//
// The two signals are blocked in the constructing thread, so create the watch before any
// other thread: threads inherit the mask, and a signal is then left to the watch's thread.
// Destruction, in the same thread, stops that thread and restores the mask; a signal
// arriving after the watch is handled as it would be without it.

#include <atomic>
#include <signal.h>
#include <thread>

namespace quillon {

// Raised by a run that noticed the watch's signal; the caller ends with 128 + signal.
struct Interrupted {
    int signal;
};

class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // 0 until SIGINT or SIGTERM arrives, then that signal's number.
    int signal() const { return signal_.load(std::memory_order_relaxed); }
    // The exit status of a run ended by the signal: 128 + its number.
    int exit_status() const { return 128 + signal(); }
    // Throws Interrupted when a signal has arrived.
    void check() const {
        if (const int s = signal()) throw Interrupted{s};
    }

private:
    void wait();
    sigset_t watched_{}, previous_{};
    std::atomic<int> signal_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quillon
