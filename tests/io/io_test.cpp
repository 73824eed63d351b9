// The file layer: the line reader and strict numbers, the output written then renamed, the
// guards of a run's outputs and the interruption watch.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <string>

#include "io/interrupt.hpp"
#include "io/line_reader.hpp"
#include "io/output_guard.hpp"
#include "io/pending_file.hpp"
#include "io/text_file.hpp"
#include "support/program.hpp"

namespace quillon {
namespace {

using test_support::TempDir;
namespace fs = std::filesystem;

// Every line end ("\n", "\r\n", a lone "\r", one at the end of the file) with chunks of 1
// to 5 bytes, so that each of them, and the "\n" of every "\r\n", falls on a chunk
// boundary somewhere: the lines, blank ones and NUL bytes included, must not change.
TEST(LineReader, LineEndsAcrossChunkBoundaries) {
    std::string text = std::string("1 2\r\n\r\n\r\r\nab\rc\n\n\0x\r\n", 20) + "last\r";
    const auto lines = [&](std::size_t chunk) {
        const FileHandle f(fmemopen(text.data(), text.size(), "r"));
        LineReader r(f.get(), chunk);
        std::string all, line;
        while (r.next(line)) all += std::to_string(r.line_number()) + ":" + line + "|";
        return all;
    };
    const std::string expected = "1:1 2|2:|3:|4:|5:ab|6:c|7:|8:" + std::string(1, '\0') + "x|9:last|";
    for (std::size_t chunk = 1; chunk <= 5; ++chunk) EXPECT_EQ(lines(chunk), expected) << "chunk " << chunk;
    EXPECT_EQ(lines(LineReader::kDefaultChunk), expected);
}

// Only a whole field that is a number is one: strtol and strtod would take a prefix, or
// hexadecimal.
TEST(NumberParsing, WholeFieldsOnly) {
    long l = 0;
    double d = 0.0;
    EXPECT_EQ(parse_long("+17", l), NumberParse::kOk);
    EXPECT_EQ(l, 17);
    for (const char* bad : {"1.0", "0x1", "+-1", "-", "7a", ""}) EXPECT_EQ(parse_long(bad, l), NumberParse::kNotANumber) << bad;
    EXPECT_EQ(parse_finite_double("-0", d), NumberParse::kOk);
    EXPECT_TRUE(std::signbit(d));
    EXPECT_EQ(parse_finite_double("1e-400", d), NumberParse::kOk);  // underflow rounds to 0
    EXPECT_EQ(d, 0.0);
    for (const char* bad : {"1,5", "0x1p3", "1e", "one", "."}) EXPECT_EQ(parse_finite_double(bad, d), NumberParse::kNotANumber) << bad;
}

// An earlier NAME goes at once; each writer has a fresh temporary of its own beside NAME, so
// a symbolic link planted at the old fixed name NAME.part is never followed; NAME appears at
// commit, and an uncommitted writer leaves nothing.
TEST(PendingFile, AppearsWhenCommittedFromATemporaryOfItsOwn) {
    TempDir dir;
    const std::string out = dir.file("out.tsv");
    dir.write("out.tsv", "an earlier run\n");
    fs::create_symlink(dir.file("target"), dir.file("out.tsv.part"));  // followed, it would make target
    {
        PendingFile a(out), b(out);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_NE(a.temporary(), b.temporary());
        a.write("row\n");
        a.close();
        a.commit();
    }
    EXPECT_EQ(dir.read("out.tsv"), "row\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);  // out.tsv, the link
    EXPECT_THROW(PendingFile(dir.file("none/out.tsv")), OutputError);
}

// Identity by device and inode; the lock refuses a second holder, is removed by its holder,
// and a lock file left behind does not block; a closed standard descriptor is reopened on
// /dev/null, so the next file opened does not take it.
TEST(OutputGuards, SameFileLockAndStandardDescriptors) {
    TempDir dir;
    dir.write("x", "");
    fs::create_hard_link(dir.file("x"), dir.file("hard"));
    fs::create_symlink("x", dir.file("soft"));
    for (const char* other : {"./x", "hard", "soft"}) EXPECT_TRUE(same_file(dir.file("x"), dir.file(other))) << other;
    for (const std::string& other : {dir.path(), dir.file("missing")}) EXPECT_FALSE(same_file(other, dir.file("x"))) << other;
    EXPECT_FALSE(same_file(dir.file("missing"), dir.file("missing")));

    dir.write("out.lock", "");  // left by a killed run
    {
        const OutputLock lock(dir.file("out"));
        EXPECT_THROW(OutputLock{dir.file("out")}, OutputError);
    }
    EXPECT_FALSE(fs::exists(dir.file("out.lock")));

    if (const pid_t pid = ::fork(); pid == 0) {
        ::close(2);
        ::_exit(ensure_standard_descriptors() && same_file("/proc/self/fd/2", "/dev/null") ? 0 : 1);
    } else {
        int status = -1;
        EXPECT_TRUE(::waitpid(pid, &status, 0) == pid && status == 0) << status;
    }
}

// A signal sent to the process is recorded, not acted on; the mask is restored after.
TEST(InterruptWatch, RecordsTheSignalAndItsExitStatus) {
    for (const int sig : {SIGTERM, SIGINT}) {
        const InterruptWatch watch;
        ASSERT_EQ(::kill(::getpid(), sig), 0);
        for (int ms = 0; ms < 10000 && watch.signal() == 0; ++ms) ::usleep(1000);
        EXPECT_EQ(watch.exit_status(), sig == SIGINT ? 130 : 143);
    }
    sigset_t mask;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&mask, SIGINT) || sigismember(&mask, SIGTERM));
}

}  // namespace
}  // namespace quillon
