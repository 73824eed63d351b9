#include "io/line_reader.hpp"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace quillon {

namespace {
// Strips one leading "+" when a digit or a point follows it (from_chars takes only "-").
std::string_view strip_plus(std::string_view field) {
    if (field.size() >= 2 && field[0] == '+' && (std::isdigit(static_cast<unsigned char>(field[1])) || field[1] == '.'))
        field.remove_prefix(1);
    return field;
}
}  // namespace

LineReader::LineReader(std::FILE* file, std::size_t chunk)
    : file_(file), chunk_(chunk == 0 ? 1 : chunk), buffer_(std::make_unique_for_overwrite<char[]>(chunk_)) {}

bool LineReader::fill() {
    if (at_end_) return false;
    pos_ = 0;
    lf_ = kUnknown;
    errno = 0;  // so that the reason of a failed read is this read's
    end_ = std::fread(buffer_.get(), 1, chunk_, file_);
    if (end_ == 0) {
        at_end_ = true;
        if (std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool LineReader::next(std::string& line) {
    line.clear();
    bool consumed = false;  // whether any byte of this line (or its line end) was read
    for (;;) {
        if (pos_ == end_ && !fill()) break;
        if (skip_lf_) {
            skip_lf_ = false;
            if (buffer_[pos_] == '\n') {
                ++pos_;
                continue;
            }
        }
        const char* start = buffer_.get() + pos_;
        const std::size_t avail = end_ - pos_;
        if (lf_ == kUnknown || lf_ < pos_) {
            const void* lf = std::memchr(start, '\n', avail);
            lf_ = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get()) : end_;
        }
        const void* cr = std::memchr(start, '\r', lf_ - pos_);
        const std::size_t n = cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - start) : lf_ - pos_;
        line.append(start, n);
        consumed = true;
        pos_ += n;
        if (n < avail) {  // a line end
            skip_lf_ = buffer_[pos_] == '\r';
            ++pos_;
            ++line_number_;
            skip_byte_order_mark(line);
            return true;
        }
    }
    if (!consumed || error_ != 0) {
        line.clear();
        return false;
    }
    ++line_number_;  // a last line without a line end
    skip_byte_order_mark(line);
    return true;
}

void LineReader::skip_byte_order_mark(std::string& line) const {
    if (line_number_ == 1 && line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
}

bool is_blank(std::string_view line) {
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u != ' ' && (u < '\t' || u > '\r')) return false;  // kWhiteSpace: blank, \t \n \v \f \r
    }
    return true;
}

bool FieldSplitter::next_searched(std::string_view& field) {
    const char* p = rest_.data();
    const char* const end = p + rest_.size();
    while (p != end && separators_.find(*p) != std::string_view::npos) ++p;
    if (p == end) {
        rest_ = {};
        return false;
    }
    const char* q = p;
    while (q != end && separators_.find(*q) == std::string_view::npos) ++q;
    field = std::string_view(p, static_cast<std::size_t>(q - p));
    rest_ = std::string_view(q, static_cast<std::size_t>(end - q));
    return true;
}

bool FieldStream::next(std::string_view& field) {
    while (!fields_.next(field)) {
        if (!reader_.next(line_)) return false;
        fields_ = FieldSplitter(line_, separators_);
    }
    return true;
}

NumberParse parse_long(std::string_view field, long& value) {
    field = strip_plus(field);
    if (field.empty()) return NumberParse::kNotANumber;
    long v = 0;
    const char* last = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), last, v, 10);
    if (ec == std::errc::result_out_of_range && ptr == last) return NumberParse::kOutOfRange;
    if (ec != std::errc() || ptr != last) return NumberParse::kNotANumber;
    value = v;
    return NumberParse::kOk;
}

bool equals_ignoring_case(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

NumberParse parse_finite_double(std::string_view field, double& value) {
    field = strip_plus(field);
    if (field.empty()) return NumberParse::kNotANumber;
    double v = 0.0;
    const char* last = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), last, v, std::chars_format::general);
    if (ptr != last || (ec != std::errc() && ec != std::errc::result_out_of_range)) return NumberParse::kNotANumber;
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double.  The field is a well-formed number without
        // NUL bytes, so strtod can tell the two apart: an underflow rounds to 0 or a
        // subnormal (and is kept, as the C library keeps it), an overflow gives infinity.
        const std::string copy(field);
        v = std::strtod(copy.c_str(), nullptr);
    }
    if (!std::isfinite(v)) return NumberParse::kNotFinite;
    value = v;
    return NumberParse::kOk;
}

}  // namespace quillon
