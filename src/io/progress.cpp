#include "io/progress.hpp"

#include <cstdio>
#include <unistd.h>

namespace quillon {

Progress::Progress(long total, bool enabled)
    : total_(total), enabled_(enabled && isatty(STDERR_FILENO) == 1), start_(Clock::now()), last_draw_(start_) {}

Progress::~Progress() {
    if (line_open_) std::fputc('\n', stderr);
}

void Progress::update(long done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now - last_draw_ < std::chrono::milliseconds(250)) return;
    last_draw_ = now;
    draw(done);
}

void Progress::draw(long done) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    std::fprintf(stderr, "\r%ld/%ld markers  %.0f markers/s", done, total_, rate);
    if (rate > 0) {
        const long left = static_cast<long>(static_cast<double>(total_ - done) / rate + 0.5);
        std::fprintf(stderr, "  %ld:%02ld:%02ld left", left / 3600, left / 60 % 60, left % 60);
    }
    std::fputs("   ", stderr);  // clears the end of a longer earlier line
    std::fflush(stderr);
    line_open_ = true;
}

void Progress::finish() {
    if (!enabled_) return;
    draw(total_);
    std::fputc('\n', stderr);
    line_open_ = false;
}

}  // namespace quillon
