#include "io/pending_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

namespace quillon {

namespace {

constexpr std::string_view kSuffix = ".part";
constexpr int kRandomLetters = 6;
constexpr int kAttempts = 100;  // names taken already before one is free

// Creates PATH.XXXXXX.part exclusively, as fopen creates a file (mode 0666 less the umask);
// returns its descriptor and sets `name`, or -1 with errno set.
int create_temporary(const std::string& path, std::string& name) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        name = path + '.';
        for (int i = 0; i < kRandomLetters; ++i) name += kLetters[pick(device)];
        name += kSuffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;  // errno EEXIST
}

}  // namespace

PendingFile::PendingFile(std::string path) : path_(std::move(path)) {
    if (std::remove(path_.c_str()) != 0 && errno != ENOENT) fail("replace", path_);
    const int fd = create_temporary(path_, temporary_);
    if (fd < 0) fail("create", path_ + ".XXXXXX" + std::string(kSuffix));
    file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
        const int error = errno;
        ::close(fd);
        std::remove(temporary_.c_str());
        errno = error;
        fail("create", temporary_);
    }
}

PendingFile::~PendingFile() {
    file_.reset();
    if (!committed_) std::remove(temporary_.c_str());
}

void PendingFile::fail(const char* what, const std::string& path) const {
    throw OutputError(std::string("cannot ") + what + " " + path + ": " + std::strerror(errno));
}

void PendingFile::write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size()) fail("write", temporary_);
}

int PendingFile::release_descriptor() {
    const int fd = ::fcntl(::fileno(file_.get()), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) fail("write", temporary_);
    file_.reset();
    return fd;
}

void PendingFile::close() {
    if (file_ && !close_written(file_)) fail("write", temporary_);
}

void PendingFile::commit() {
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) fail("rename", temporary_);
    committed_ = true;
}

}  // namespace quillon
