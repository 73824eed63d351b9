#pragma once
// A run that must end early (data errors, a usage error) prints its messages first and then
// raises ProgramExit with the exit status.  main() is the only place that catches it.

#include <exception>

namespace quillon {

class ProgramExit : public std::exception {
public:
    explicit ProgramExit(int status) : status_(status) {}
    int status() const { return status_; }
    const char* what() const noexcept override { return "program exit"; }

private:
    int status_;
};

}  // namespace quillon
