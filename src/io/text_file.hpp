#pragma once
// Files through the C library: the one owner of a FILE*, opening an input whose failure is an
// InputError naming the file and the system's reason, and the small helpers of the readers of
// whitespace-separated text files.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace quillon {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
// Closed on destruction, its close unchecked: a file written to must go through
// close_written() to learn whether its text reached the file.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading in binary mode (line ends are the line reader's business).
// Throws InputError "Cannot open PATH: reason".
FileHandle open_input(const std::string& path);

// At most how many lines of at least `shortest` bytes each (line end included) the regular
// file `file` can hold, capped at `cap`: room to reserve for its records, so that a table
// does not grow by copies (only the pages written are touched).  0 for a pipe or a terminal.
std::size_t lines_at_most(std::FILE* file, std::size_t shortest, std::size_t cap = std::size_t{1} << 22);

// Flushes and closes `file` (left empty); false when a write, the flush or the close failed
// (errno is then the last failed call's).
bool close_written(FileHandle& file);

// InputError "Cannot read PATH: reason" for a read error with errno `error`.
[[noreturn]] void read_failed(const std::string& path, int error);

// "PATH line N: "
std::string at_line(const std::string& path, long line);

// Key of a person within a FID: fields hold no white space, so a tab cannot be part of one.
inline std::string person_key(std::string_view fid, std::string_view iid) {
    std::string key(fid);
    key += '\t';
    key += iid;
    return key;
}

// Splits `line` at blanks and tabs (any white space) into at most `max` fields; returns how
// many were found.
int split_fields(std::string_view line, std::string_view* fields, int max);

}  // namespace quillon
