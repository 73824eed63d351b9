#pragma once
// Guards of a run's outputs: an output that names an input under another spelling, a second
// run writing to the same outputs, and a standard descriptor left closed by the caller.

#include <string>

namespace quillon {

// True when `a` and `b` name one existing file (one device and inode, whatever the
// spelling: "./x", a symbolic link, a hard link); false when either does not exist.
bool same_file(const std::string& a, const std::string& b);

// An exclusive advisory lock on PREFIX.lock (created if missing, never through a symbolic
// link) for as long as the object lives; the holder removes the file at the end.  A lock
// file left by a killed run does not block: the system released its lock with it.
class OutputLock {
public:
    // Throws OutputError naming PREFIX when another run holds the lock, or when PREFIX.lock
    // cannot be created.
    explicit OutputLock(const std::string& prefix);
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

private:
    std::string path_;
    int fd_ = -1;
};

// Reopens on /dev/null each of descriptors 0, 1 and 2 that is closed, so that no file opened
// later receives one of them (and a message meant for standard error never lands in a result
// file).  False when one of them could not be reopened.
bool ensure_standard_descriptors();

}  // namespace quillon
