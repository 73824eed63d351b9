#include "io/text_file.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/errors.hpp"
#include "io/line_reader.hpp"

namespace quillon {

FileHandle open_input(const std::string& path) {
    errno = 0;
    FileHandle f(std::fopen(path.c_str(), "rb"));
    if (!f) throw InputError("Cannot open " + path + ": " + std::strerror(errno));
    return f;
}

std::size_t lines_at_most(std::FILE* file, std::size_t shortest, std::size_t cap) {
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return 0;
    return std::min(cap, static_cast<std::size_t>(st.st_size) / shortest + 1);
}

bool close_written(FileHandle& file) {
    std::FILE* f = file.release();
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    return std::fclose(f) == 0 && flushed;
}

void read_failed(const std::string& path, int error) {
    throw InputError("Cannot read " + path + ": " + std::strerror(error));
}

std::string at_line(const std::string& path, long line) {
    return path + " line " + std::to_string(line) + ": ";
}

int split_fields(std::string_view line, std::string_view* fields, int max) {
    FieldSplitter splitter(line, kWhiteSpace);
    int n = 0;
    while (n < max && splitter.next(fields[n])) ++n;
    return n;
}

}  // namespace quillon
