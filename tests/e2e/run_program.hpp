#pragma once
// End-to-end harness: run a built program in a temporary folder with given standard input
// and collect its standard output, standard error and exit status.  POSIX only.
//
//   TempDir dir;
//   dir.write("wpedigree.dat", "...");
//   RunResult r = run_program(QUILLON_BIN, {}, dir.path(), "2 3 1\n");
//   EXPECT_EQ(r.status, 1);

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillon::e2e {

// A fresh folder under the system's temporary folder, removed with its contents on
// destruction.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-e2e-XXXXXX").string();
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
// streams go through files (no pipe can fill up and block).  A run that takes longer than
// `timeout_seconds` is killed and reported with timed_out set.
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
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }

    RunResult r;
    int wstatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
    for (;;) {
        const pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
        if (done == pid) break;
        if (done < 0) throw std::runtime_error("waitpid failed");
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
            r.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus)) r.status = 128 + WTERMSIG(wstatus);
    r.out = io.read("stdout");
    r.err = io.read("stderr");
    return r;
}

}  // namespace quillon::e2e
