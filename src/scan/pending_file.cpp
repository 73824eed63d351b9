#include "scan/pending_file.hpp"

#include <cerrno>
#include <cstring>

namespace quillon {

PendingFile::PendingFile(std::string path) : path_(std::move(path)), part_(path_ + ".part") {
    // A result of an earlier run under this name must not pass for this run's.
    if (std::remove(path_.c_str()) != 0 && errno != ENOENT) fail("replace", path_);
    file_ = std::fopen(part_.c_str(), "wb");
    if (file_ == nullptr) fail("create", part_);
}

PendingFile::~PendingFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_) std::remove(part_.c_str());
}

void PendingFile::fail(const char* what, const std::string& path) {
    throw OutputError(std::string("cannot ") + what + " " + path + ": " + std::strerror(errno));
}

void PendingFile::write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail("write", part_);
}

void PendingFile::close() {
    std::FILE* f = file_;
    file_ = nullptr;
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    if (std::fclose(f) != 0 || !flushed) fail("write", part_);
}

void PendingFile::commit() {
    if (std::rename(part_.c_str(), path_.c_str()) != 0) fail("rename", part_);
    committed_ = true;
}

}  // namespace quillon
