#include "io/interrupt.hpp"

#include <pthread.h>

namespace quillon {

InterruptWatch::InterruptWatch() {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
    try {
        thread_ = std::thread([this] { wait(); });
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        throw;
    }
}

InterruptWatch::~InterruptWatch() {
    stopping_.store(true);
    pthread_kill(thread_.native_handle(), SIGTERM);  // wakes the wait; not recorded
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::wait() {
    for (;;) {
        int number = 0;
        if (sigwait(&watched_, &number) != 0) continue;
        if (stopping_.load()) return;
        int none = 0;
        signal_.compare_exchange_strong(none, number);
    }
}

}  // namespace quillon
