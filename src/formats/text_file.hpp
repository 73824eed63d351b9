#pragma once
// Opening the study's text files for the readers of this folder: a failure to open or read
// is an InputError naming the file and the system's reason.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "formats/study.hpp"

namespace quillon::formats_detail {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading in binary mode (line ends are the line reader's business).
FileHandle open_input(const std::string& path);

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

}  // namespace quillon::formats_detail
