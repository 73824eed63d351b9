#include "toolkit/print.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quillon {
namespace {

// What `print` writes to a temporary stream.
std::string printed(const std::function<void(std::FILE*)>& print) {
    std::FILE* f = std::tmpfile();
    print(f);
    std::rewind(f);
    std::string text;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text.push_back(static_cast<char>(c));
    std::fclose(f);
    return text;
}

// One format check per routine, the empty vector and matrix, and pd's fields running
// together when a value is wider than ten characters.
TEST(Print, EachRoutineFormatAndEmptyArguments) {
    DVector d = vector(1, 2);
    d[1] = 1.5, d[2] = 1234567.0;  // the second is wider than ten characters
    LVector l = lvector(1, 1);
    IVector i = ivector(1, 1);
    l[1] = -2147483647L, i[1] = -3;
    IMatrix im = imatrix(1, 2, 1, 2);
    im[1][1] = 1, im[1][2] = -20, im[2][1] = 300, im[2][2] = 4;
    DMatrix dm = matrix(1, 1, 1, 2);
    dm[1][1] = 0.1, dm[1][2] = -3.0;
    // What each call prints: pd, pd(a, 0), pf, pl, pi, pi(a, 0), pmi, pmi(a, 0, l), pmf.
    const std::vector<std::pair<std::function<void(std::FILE*)>, std::string>> cases = {
        {[&](std::FILE* f) { pd(d, 2, f); }, "    1.50001234567.0000\n"},
        {[&](std::FILE* f) { pd(d, 0, f); }, "\n"},
        {[&](std::FILE* f) { pf(d, 2, f); }, "   1.500000 1234567.000000\n"},
        {[&](std::FILE* f) { pl(l, 1, f); }, " -2147483647\n"},
        {[&](std::FILE* f) { pi(i, 1, f); }, "         -3\n"},
        {[&](std::FILE* f) { pi(i, 0, f); }, "\n"},
        {[&](std::FILE* f) { pmi(im, 2, 2, f); }, "\n         1       -20\n       300         4\n"},
        {[&](std::FILE* f) { pmi(im, 0, 2, f); }, "\n"},
        {[&](std::FILE* f) { pmf(dm, 1, 2, f); }, "\n    0.1000000000   -3.0000000000\n"},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) EXPECT_EQ(printed(cases[k].first), cases[k].second) << "case " << k;
}

}  // namespace
}  // namespace quillon
