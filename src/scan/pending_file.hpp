#pragma once
// An output file that appears under its name only when complete: an earlier NAME is removed
// at once, the text written to NAME.part and renamed to NAME by commit().  Destroyed
// uncommitted, it removes NAME.part, so a failed run leaves nothing that looks like a result.

#include <cstdio>
#include <string>
#include <string_view>

namespace quillon {

// A file that cannot be written: the message names it and the system's reason.
class OutputError : public std::exception {
public:
    explicit OutputError(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

class PendingFile {
public:
    explicit PendingFile(std::string path);  // throws OutputError
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    void write(std::string_view text);  // throws OutputError
    void close();                       // flushes and closes; throws OutputError
    void commit();                      // renames the closed file; throws OutputError

private:
    [[noreturn]] void fail(const char* what, const std::string& path);
    std::string path_, part_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace quillon
