#include "toolkit/print.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quillon {
namespace {

// What `print` writes to a temporary stream.
template <class Print>
std::string printed(Print print) {
    std::FILE* f = std::tmpfile();
    print(f);
    std::rewind(f);
    std::string text;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text.push_back(static_cast<char>(c));
    std::fclose(f);
    return text;
}

TEST(Print, VectorFormats) {
    DVector d = vector(1, 3);
    d[1] = 1.5;
    d[2] = -2.25;
    d[3] = 1234567.0;  // wider than ten characters: runs into its neighbour in pd
    EXPECT_EQ(printed([&](std::FILE* f) { pd(d, 3, f); }), "    1.5000   -2.25001234567.0000\n");
    EXPECT_EQ(printed([&](std::FILE* f) { pf(d, 2, f); }), "   1.500000  -2.250000\n");
    LVector l = lvector(1, 2);
    l[1] = 7;
    l[2] = -2147483647L;
    EXPECT_EQ(printed([&](std::FILE* f) { pl(l, 2, f); }), "          7 -2147483647\n");
    IVector i = ivector(1, 1);
    i[1] = -3;
    EXPECT_EQ(printed([&](std::FILE* f) { pi(i, 1, f); }), "         -3\n");
    EXPECT_EQ(printed([&](std::FILE* f) { pd(d, 0, f); }), "\n");
    EXPECT_EQ(printed([&](std::FILE* f) { pi(i, 0, f); }), "\n");
}

TEST(Print, MatrixFormats) {
    IMatrix im = imatrix(1, 2, 1, 2);
    im[1][1] = 1;
    im[1][2] = -20;
    im[2][1] = 300;
    im[2][2] = 4;
    EXPECT_EQ(printed([&](std::FILE* f) { pmi(im, 2, 2, f); }), "\n         1       -20\n       300         4\n");
    EXPECT_EQ(printed([&](std::FILE* f) { pmi(im, 0, 2, f); }), "\n");
    DMatrix dm = matrix(1, 1, 1, 2);
    dm[1][1] = 0.1;
    dm[1][2] = -3.0;
    EXPECT_EQ(printed([&](std::FILE* f) { pmf(dm, 1, 2, f); }), "\n    0.1000000000   -3.0000000000\n");
}

TEST(Print, DefaultStreamIsStandardOutput) {
    IVector i = ivector(1, 1);
    i[1] = 5;
    testing::internal::CaptureStdout();
    pi(i, 1);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "          5\n");
}

}  // namespace
}  // namespace quillon
