#pragma once
// An output written under a temporary name and renamed by commit() (io/pending_file.hpp),
// plain or BGZF-compressed, with an optional tabix index built from the closed file: the
// index too is written under a temporary name and renamed with the file, so a run that ends
// early leaves neither.  Throws OutputError.

#include <optional>
#include <string>
#include <string_view>

#include "io/pending_file.hpp"

struct BGZF;

namespace quillon {

// The columns a tabix index reads (1-based): sequence name, first and last position; lines
// starting with '#' and the first `skip` lines are not indexed.
struct TabixColumns {
    int sequence = 1, begin = 2, end = 2;
    int skip = 0;
};

class StagedFile {
public:
    StagedFile(const std::string& path, bool bgzf);
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    const std::string& path() const { return file_.path(); }
    void write(const void* data, std::size_t size);
    void write(std::string_view text) { write(text.data(), text.size()); }
    void close();
    // After close(): PATH.tbi for the BGZF file, built now and committed with it.
    void build_index(const TabixColumns& columns);
    // After close(): the MD5 of the file's bytes, 32 lowercase hexadecimal digits.
    std::string md5() const;
    void commit();

private:
    PendingFile file_;
    BGZF* bgzf_ = nullptr;
    std::optional<PendingFile> index_;
};

}  // namespace quillon
