#pragma once
// Robust reading of the text input files: lines of any length and strict number parsing.
//
// Nothing here trusts the input.  A line may be megabytes long, hold NUL bytes or end in
// "\n", "\r\n" or a lone "\r"; a field may hold any bytes at all.  A number is accepted
// only when the whole field is a number; everything else is reported to the caller.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace quillon {

// Reads a text file line by line.
//
// A line ends at "\n", at "\r\n" or at a lone "\r" (so files written with any of the three
// conventions read the same); the line end is not part of the returned line.  The last line
// need not end with a line end.  A UTF-8 byte-order mark opening the first line is dropped.  NUL and every other byte are kept as ordinary characters.
// A line of any length is returned whole.  Line numbers count every line, blank ones too.
class LineReader {
public:
    // Bytes read from the file at a time.  Lines are assembled across chunks, so the size
    // changes nothing but speed; tests use tiny chunks to put every line end on a boundary.
    static constexpr std::size_t kDefaultChunk = std::size_t{1} << 16;

    explicit LineReader(std::FILE* file, std::size_t chunk = kDefaultChunk);

    // Reads the next line into `line`.  Returns false, and leaves `line` empty, at the end
    // of the input or after a read error.
    bool next(std::string& line);

    // Number of the line last returned (1-based); 0 before the first.
    long line_number() const { return line_number_; }

    // The errno of a read error (0 when the input ended normally).
    int error() const { return error_; }

private:
    bool fill();  // refills the buffer; false at end of input or on error
    void skip_byte_order_mark(std::string& line) const;  // on line 1 only

    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

    std::FILE* file_;
    std::size_t chunk_;
    std::unique_ptr<char[]> buffer_;  // chunk_ bytes, left uninitialised: fread fills what is read
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    // The buffer's first "\n" at or after pos_ (end_ if none), found once for the lines
    // before it; kUnknown after a fill, or when below pos_.
    static constexpr std::size_t kUnknown = ~std::size_t{0};
    std::size_t lf_ = kUnknown;
    long line_number_ = 0;
    int error_ = 0;
    bool at_end_ = false;
    bool skip_lf_ = false;  // the last line ended in "\r": a "\n" right after it belongs to it
};

// White space as the C library's isspace sees it in the "C" locale.
inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
// Separators of the numbers on a covariate line.
inline constexpr std::string_view kCovariateSeparators = " ,\t";

// True when the line holds nothing but white space (an empty line included).
bool is_blank(std::string_view line);

// Splits text into fields separated by runs of any of `separators`; separators before the
// first field and after the last are skipped.
class FieldSplitter {
public:
    FieldSplitter(std::string_view text, std::string_view separators) : rest_(text), separators_(separators) {
        for (const char c : separators) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 64)
                mask_ |= std::uint64_t{1} << u;
            else
                wide_ = true;  // a separator the mask cannot hold: the separators are searched
        }
    }

    // Sets `field` to the next field; false when there is none.
    bool next(std::string_view& field) {
        if (wide_) return next_searched(field);
        const char* p = rest_.data();
        const char* const end = p + rest_.size();
        while (p != end && separator(*p)) ++p;
        if (p == end) {
            rest_ = {};
            return false;
        }
        const char* q = p + 1;
        while (q != end && !separator(*q)) ++q;
        field = std::string_view(p, static_cast<std::size_t>(q - p));
        rest_ = std::string_view(q, static_cast<std::size_t>(end - q));
        return true;
    }

private:
    bool next_searched(std::string_view& field);  // next() with wide_
    // Without wide_: whether c is a separator.
    bool separator(char c) const {
        const auto u = static_cast<unsigned char>(c);
        return u < 64 && (mask_ >> u & 1) != 0;
    }

    std::string_view rest_;
    std::string_view separators_;
    std::uint64_t mask_ = 0;  // separators below 64, by bit
    bool wide_ = false;
};

// The fields of a whole file, one at a time across its lines (for a file read as a stream
// of numbers, where line ends separate like any other white space).
class FieldStream {
public:
    FieldStream(std::FILE* file, std::string_view separators)
        : reader_(file), separators_(separators), fields_({}, separators) {}
    // The splitter views the stream's own line: a copy would read the original's.
    FieldStream(const FieldStream&) = delete;
    FieldStream& operator=(const FieldStream&) = delete;

    // Sets `field` to the next field, valid until the next call; false at the end.
    bool next(std::string_view& field);

    // The reader, for the line number of the last field and the read error.
    const LineReader& reader() const { return reader_; }

private:
    LineReader reader_;
    std::string_view separators_;
    std::string line_;
    FieldSplitter fields_;
};

enum class NumberParse { kOk, kNotANumber, kOutOfRange, kNotFinite };

// A decimal integer: an optional sign ("+" or "-") and one or more digits, nothing else.
// kOutOfRange when it does not fit a long (value untouched); kNotANumber for anything that
// is not such an integer.
NumberParse parse_long(std::string_view field, long& value);

// `a` is `lower` (written in lower case) but for the letter case of its ASCII letters.
bool equals_ignoring_case(std::string_view a, std::string_view lower);

// A decimal floating-point number (optional sign, digits with an optional point, optional
// exponent), nothing else, converted with correct rounding.  "nan", "inf" and numbers too
// large for a double give kNotFinite; a number too small for a double is its rounded value
// (0 or a subnormal), as the C library converts it.  Anything else gives kNotANumber.
NumberParse parse_finite_double(std::string_view field, double& value);

}  // namespace quillon
