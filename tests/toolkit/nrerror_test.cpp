#include "toolkit/nrerror.hpp"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(Nrerror, RaisesTheTextAndReportsItInThreeLinesOnStandardErrorOnly) {
    try {
        nrerror("Too many iterations in brent");
        FAIL() << "nrerror returned";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "Too many iterations in brent");
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        report_numerical_error(e);
        std::fflush(stderr);
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Numerical run-time error...\nToo many iterations in brent\n...now exiting to system...\n");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
}

}  // namespace
}  // namespace quillon
