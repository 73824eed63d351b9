#pragma once
// The two faults of the file layer.  Each carries the whole message; the program that
// catches one prints it and ends with status 1.

#include <exception>
#include <string>
#include <utility>

namespace quillon {

// A fault in an input file: what, where.  The message names the file, the line (or marker)
// and the family where there is one.
class InputError : public std::exception {
public:
    explicit InputError(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// A file that cannot be written: the message names it and the system's reason.
class OutputError : public std::exception {
public:
    explicit OutputError(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

}  // namespace quillon
