// Standard output that cannot be written: a full device and a closed stream each end the run
// with status 1 and one line on standard error that names the failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/program.hpp"

namespace quillon::test_support {
namespace {

TEST(OutputFailure, OneLineOnStandardErrorNamesIt) {
    TempDir dir;
    dir.write("wpedigree.dat", "1 1 0 0 1 1 0 1 2\n1 2 0 0 2 1 0 1 1\n1 3 1 2 1 2 0 1 2\n");
    dir.write("wweights.dat", "1 1 1\n");
    const struct {
        std::string args, redirect;
        int error;
    } cases[] = {
        {"--covariates 0 --status-model 3", ">/dev/full", ENOSPC},  // the report
        {"--covariates 0 --status-model 3", ">&-", EBADF},
        {"--help", ">/dev/full", ENOSPC},
        {"--covariates 1 --status-model 3 --covariate-model 0", ">&-", EBADF},  // a data error: no wcovars.dat
    };
    for (const auto& c : cases) {
        const std::string cmd = "cd '" + dir.path() + "' && '" + QUILLON_BIN + "' " + c.args + " </dev/null " +
                                c.redirect + " 2>'" + dir.file("err") + "'";
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << c.args;
        EXPECT_EQ(WEXITSTATUS(status), 1) << c.args;
        EXPECT_EQ(dir.read("err"), "quillon: cannot write standard output: " + std::string(std::strerror(c.error)) + "\n")
            << c.args << ' ' << c.redirect;
    }
}

}  // namespace
}  // namespace quillon::test_support
