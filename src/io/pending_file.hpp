#pragma once
// An output file that appears under its name only when complete.  An earlier NAME is removed
// at once, so a result of an earlier run never passes for this run's; the text goes to a new
// temporary NAME.XXXXXX.part beside it (six random letters and digits, created exclusively:
// never a file that exists already, nor through a planted symbolic link, and never shared by
// two runs) and commit() renames it to NAME.  Destroyed uncommitted, it removes the
// temporary, so a failed run leaves nothing that looks like a result.

#include <string>
#include <string_view>

#include "io/errors.hpp"
#include "io/text_file.hpp"

namespace quillon {

class PendingFile {
public:
    explicit PendingFile(std::string path);  // throws OutputError
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& temporary() const { return temporary_; }

    void write(std::string_view text);  // throws OutputError
    // Hands the temporary's descriptor to a writer of its own (a compressing one), which
    // writes and closes it before commit(); write() and close() may not be called after.
    // Throws OutputError.
    int release_descriptor();
    void close();   // flushes and closes; throws OutputError
    void commit();  // renames the closed file; throws OutputError

private:
    [[noreturn]] void fail(const char* what, const std::string& path) const;
    std::string path_, temporary_;
    FileHandle file_;
    bool committed_ = false;
};

}  // namespace quillon
