#include "io/output_guard.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/errors.hpp"

namespace quillon {

namespace {

bool same_inode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Attempts at a lock file that its holder removes between our open and our lock.
constexpr int kLockAttempts = 10;

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && same_inode(sa, sb);
}

OutputLock::OutputLock(const std::string& prefix) : path_(prefix + ".lock") {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) throw OutputError("cannot create " + path_ + ": " + std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                throw OutputError("another scan is writing the outputs " + prefix + ".* (" + path_ +
                                  " is locked); wait for it to end or choose another --out");
            throw OutputError("cannot lock " + path_ + ": " + std::strerror(error));
        }
        // The lock holds only if the name still leads to the locked file: a holder that ended
        // between our open and our lock removed it, and the next run would lock a new one.
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(path_.c_str(), &named) == 0 && same_inode(held, named)) {
            fd_ = fd;
            return;
        }
        ::close(fd);
    }
    throw OutputError("cannot lock " + path_ + ": it was removed and created again " + std::to_string(kLockAttempts) +
                      " times");
}

OutputLock::~OutputLock() {
    ::unlink(path_.c_str());  // while locked: no other run holds this file
    ::close(fd_);
}

bool ensure_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor: this one, as every lower one is open.
        if (::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
    }
    return true;
}

}  // namespace quillon
