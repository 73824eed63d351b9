#pragma once
// Test harness: temporary folders, output captured in memory, and runs of a built program
// with its standard output, standard error and exit status collected.  POSIX only.
//
//   TempDir dir;
//   dir.write("wpedigree.dat", "...");
//   RunResult r = run_program(QUILLON_BIN, {}, dir.path(), "2 3 1\n");
//   EXPECT_EQ(r.status, 1);

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillon::test_support {

// A fresh folder under the system's temporary folder, removed with its contents on
// destruction.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Writes `content` byte for byte (binary, so NUL and CR bytes stay as given).
    void write(const std::string& name, const std::string& content) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) throw std::runtime_error("cannot write " + file(name));
    }

    std::string read(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

// An anonymous temporary file, removed when closed: input for a routine that reads a FILE*,
// or a capture of what a routine prints on one (text() returns everything written so far).
class TempFile {
public:
    TempFile() {
        if (file_ == nullptr) throw std::runtime_error("tmpfile failed");
    }
    std::FILE* get() const { return file_.get(); }
    std::string text() const {
        std::rewind(file_.get());
        std::string text;
        for (int c = std::fgetc(file_.get()); c != EOF; c = std::fgetc(file_.get())) text.push_back(static_cast<char>(c));
        return text;
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{std::tmpfile(), &std::fclose};
};

// The white-space separated words of `text`.
inline std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

// The lines of `text`, each split into its words, or at every `sep` when one is given.
inline std::vector<std::vector<std::string>> table(const std::string& text, char sep = 0) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        rows.push_back(sep ? std::vector<std::string>{} : words(line));
        std::istringstream fields(line);
        for (std::string f; sep && std::getline(fields, f, sep);) rows.back().push_back(f);
    }
    return rows;
}

// wpedigree.dat lines of a trio that passes every check: father genotype 1, mother 0, child 1.
inline std::string trio(int famid) {
    const std::string f = std::to_string(famid);
    return f + " 1 0 0 1 2 0 1 2\n" + f + " 2 0 0 2 1 0 1 1\n" + f + " 3 1 2 1 2 0 1 2\n";
}

struct RunResult {
    std::string out;          // standard output
    std::string err;          // standard error
    int status = -1;          // exit status; 128 + signal number when killed by a signal
    bool timed_out = false;   // killed after the time limit
};

// Exit status of a run under valgrind that found an invalid access or a leak; no program
// here ends with it, so every test that checks the status fails on such a run.
inline constexpr int kValgrindErrorStatus = 99;

// Runs `exe` with `args` in the folder `dir`, feeding `stdin_text` on standard input.  The
// streams go through files (no pipe can fill up and block).  A run still going after
// `timeout_seconds` (rounded up to whole seconds) is killed by an alarm set before the exec,
// which the exec keeps, and is reported with timed_out set.
//
// With QUILLON_E2E_VALGRIND set to the path of valgrind (tools/valgrind-check sets it),
// every run goes through its memcheck tool, quietly (it prints only what it finds), with
// definite and indirect leaks counted as errors, and every time limit is 50 times longer.
inline RunResult run_program(const std::string& exe, const std::vector<std::string>& args, const std::string& dir,
                             const std::string& stdin_text, double timeout_seconds = 60.0) {
    TempDir io;
    io.write("stdin", stdin_text);
    const std::string in_path = io.file("stdin"), out_path = io.file("stdout"), err_path = io.file("stderr");

    std::vector<std::string> argv_strings{exe};
    const char* valgrind = std::getenv("QUILLON_E2E_VALGRIND");
    if (valgrind != nullptr && *valgrind != '\0') {
        argv_strings = {valgrind, "-q", "--error-exitcode=" + std::to_string(kValgrindErrorStatus),
                        "--leak-check=full", "--errors-for-leak-kinds=definite,indirect", exe};
        timeout_seconds *= 50.0;
    }
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto alarm_seconds = static_cast<unsigned>(std::ceil(timeout_seconds));

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        // In the child only async-signal-safe calls until exec.
        const int in = ::open(in_path.c_str(), O_RDONLY);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(dir.c_str()) != 0)
            ::_exit(127);
        ::alarm(alarm_seconds);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }

    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.timed_out = WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGALRM;
    r.out = io.read("stdout");
    r.err = io.read("stderr");
    return r;
}

}  // namespace quillon::test_support
