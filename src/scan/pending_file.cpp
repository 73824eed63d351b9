#include "scan/pending_file.hpp"

#include <cerrno>
#include <cstring>

namespace quillon {

PendingFile::PendingFile(std::string path) : path_(std::move(path)), part_(path_ + ".part") {
    file_ = std::fopen(part_.c_str(), "wb");
    if (file_ == nullptr) fail("create");
}

PendingFile::~PendingFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_) std::remove(part_.c_str());
}

void PendingFile::fail(const char* what) {
    throw OutputError(std::string("cannot ") + what + " " + (committed_ ? path_ : part_) + ": " +
                      std::strerror(errno));
}

void PendingFile::write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail("write");
}

void PendingFile::close() {
    std::FILE* f = file_;
    file_ = nullptr;
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    if (std::fclose(f) != 0 || !flushed) fail("write");
}

void PendingFile::commit() {
    if (std::rename(part_.c_str(), path_.c_str()) != 0) fail("rename");
    committed_ = true;
}

}  // namespace quillon
