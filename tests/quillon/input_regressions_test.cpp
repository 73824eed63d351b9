// Regression tests for faults found in the input stage, each named after the fault it pins.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "e2e/run_program.hpp"
#include "input/pedigree_input.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {
namespace {

using e2e::TempDir;

// Reads the folder's files with ncov covariates; returns what was printed and the status
// (0 when read_families returned).
std::pair<std::string, int> read(const TempDir& d, long ncov) {
    Settings s;
    s.ncov = ncov;
    e2e::TempFile out;
    int status = 0;
    try {
        read_families(s, d.path(), out.get());
    } catch (const ProgramExit& e) {
        status = e.status();
    }
    return {out.text(), status};
}

// A wpedigree.dat that is a pipe was read by the counting pass and found empty by the
// reading pass, and the run blamed the file for changing while it was read.  It is now
// refused before anything is read, with the reason.
TEST(InputRegressions, PedigreePipeWasReportedAsChangedWhileRead) {
    TempDir d;
    const std::string ped = d.file("wpedigree.dat");
    ASSERT_EQ(::mkfifo(ped.c_str(), 0600), 0);
    // Held open for reading and writing, the pipe never blocks the reader's open and no
    // writer ever meets a closed pipe.
    const int fd = ::open(ped.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const std::string trio = "1 1 0 0 1 2 0 1 2\n1 2 0 0 2 1 0 1 1\n1 3 1 2 1 2 0 1 2\n";
    ASSERT_EQ(::write(fd, trio.data(), trio.size()), static_cast<ssize_t>(trio.size()));
    d.write("wweights.dat", "1 1 1");
    const auto [out, status] = read(d, 0);
    ::close(fd);
    EXPECT_EQ(out, "\nERROR: Cannot read " + ped + " twice: " + std::strerror(ESPIPE) +
                       ". It must be a file, not a pipe.\n");
    EXPECT_EQ(status, 1);
}

// A wcovars.dat or wweights.dat that opened but could not be read (here a folder) was
// first reported as ending before the first individual's numbers, and only then as
// unreadable.  The read error is now the only message.
TEST(InputRegressions, ReadErrorWasReportedAsAnEarlyEnd) {
    for (const char* name : {"wcovars.dat", "wweights.dat"}) {
        SCOPED_TRACE(name);
        TempDir d;
        d.write("wpedigree.dat", "1 1 0 0 1 2 0 1 2\n1 2 0 0 2 1 0 1 1\n1 3 1 2 1 2 0 1 2\n");
        d.write("wcovars.dat", "1\n1\n1\n");
        d.write("wweights.dat", "1 1 1");
        std::filesystem::remove(d.file(name));
        std::filesystem::create_directory(d.file(name));
        const auto [out, status] = read(d, 1);
        EXPECT_EQ(out, "\nERROR: Cannot read " + d.file(name) + ": " + std::strerror(EISDIR) + "\n");
        EXPECT_EQ(status, 1);
    }
}

}  // namespace
}  // namespace quillon
