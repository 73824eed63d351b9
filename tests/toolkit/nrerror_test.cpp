#include "toolkit/nrerror.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

TEST(Nrerror, RaisesNumericalErrorCarryingTheText) {
    try {
        nrerror("Too many iterations in brent");
        FAIL() << "nrerror returned";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "Too many iterations in brent");
    }
}

TEST(Nrerror, ReportWritesThreeLinesOnStandardErrorOnly) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    report_numerical_error(NumericalError("allocation failure in vector()"));
    std::fflush(stderr);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Numerical run-time error...\n"
              "allocation failure in vector()\n"
              "...now exiting to system...\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace quillon
