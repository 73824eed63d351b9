#include "toolkit/print.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
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

template <class V, class T>
V filled(V v, std::initializer_list<T> values) {
    long i = v.lo();
    for (T x : values) v[i++] = x;
    return v;
}

TEST(Print, VectorAndMatrixFormats) {
    const DVector d = filled(vector(1, 3), {1.5, -2.25, 1234567.0});  // the last is wider than ten characters
    EXPECT_EQ(printed([&](std::FILE* f) { pd(d, 3, f); }), "    1.5000   -2.25001234567.0000\n");  // no separator
    EXPECT_EQ(printed([&](std::FILE* f) { pf(d, 2, f); }), "   1.500000  -2.250000\n");
    EXPECT_EQ(printed([&](std::FILE* f) { pd(d, 0, f); }), "\n");
    const LVector l = filled(lvector(1, 2), {7L, -2147483647L});
    EXPECT_EQ(printed([&](std::FILE* f) { pl(l, 2, f); }), "          7 -2147483647\n");
    const IVector i = filled(ivector(1, 1), {-3});
    EXPECT_EQ(printed([&](std::FILE* f) { pi(i, 1, f); }), "         -3\n");
    EXPECT_EQ(printed([&](std::FILE* f) { pi(i, 0, f); }), "\n");
    IMatrix im = imatrix(1, 2, 1, 2);
    im[1][1] = 1, im[1][2] = -20, im[2][1] = 300, im[2][2] = 4;
    EXPECT_EQ(printed([&](std::FILE* f) { pmi(im, 2, 2, f); }), "\n         1       -20\n       300         4\n");
    EXPECT_EQ(printed([&](std::FILE* f) { pmi(im, 0, 2, f); }), "\n");
    DMatrix dm = matrix(1, 1, 1, 2);
    dm[1][1] = 0.1, dm[1][2] = -3.0;
    EXPECT_EQ(printed([&](std::FILE* f) { pmf(dm, 1, 2, f); }), "\n    0.1000000000   -3.0000000000\n");
}

}  // namespace
}  // namespace quillon
