#pragma once
// The progress line of a long run on standard error: markers done of total, markers per
// second and the time left, redrawn in place at most four times a second.  Silent when
// standard error is not a terminal or when disabled.

#include <chrono>

namespace quillon {

class Progress {
public:
    Progress(long total, bool enabled);
    ~Progress();             // ends a line left drawn (an error cut the scan short)
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void update(long done);  // cheap when nothing is drawn
    void finish();           // the last line, then a newline

private:
    void draw(long done);
    using Clock = std::chrono::steady_clock;
    long total_;
    bool enabled_;
    bool line_open_ = false;
    Clock::time_point start_, last_draw_;
};

}  // namespace quillon
