// Mendelian transmission: the table, the tilted distribution and the missing-genotype stop.

#include "genetics/transmission.hpp"

#include <gtest/gtest.h>

#include <string>

#include "toolkit/program_exit.hpp"
#include "test_families.hpp"

namespace quillon {
namespace {

TEST(Phg, TableValues) {
    EXPECT_EQ(phg(1, 1, 1), 0.5);
    EXPECT_EQ(phg(0, 2, 1), 1.0);
    EXPECT_EQ(phg(2, 2, 0), 0.0);
    EXPECT_EQ(phg(1, 2, 2), 0.5);
    for (int f = 0; f <= 2; ++f)
        for (int m = 0; m <= 2; ++m) {
            // A distribution symmetric in the parents whose mean is half the parents' allele
            // count (all entries are exact binary fractions).
            EXPECT_EQ(phg(f, m, 0) + phg(f, m, 1) + phg(f, m, 2), 1.0);
            EXPECT_EQ(phg(f, m, 1) + 2.0 * phg(f, m, 2), 0.5 * (f + m));
            for (int c = 0; c <= 2; ++c) EXPECT_EQ(phg(f, m, c), phg(m, f, c));
        }
}

TEST(Phg, MissingGenotypeStopsWithTwoLinesAndStatusOne) {
    auto stop_output = [](auto call) {
        testing::internal::CaptureStdout();
        int status = -1;
        try {
            call();
        } catch (const ProgramExit& e) {
            status = e.status();
        }
        EXPECT_EQ(status, 1);
        return testing::internal::GetCapturedStdout();
    };
    const std::string message = "ERROR: One of the genotypes used to calculate prob(h_j|g)\n       is missing\n";
    EXPECT_EQ(stop_output([] { phg(-1, 1, 1); }), message);
    EXPECT_EQ(stop_output([] { phg(1, 1, -1); }), message);
    EXPECT_EQ(stop_output([] { phgz(2, -1, 0, 2.0, 3.0); }), message);
}

TEST(Phgz, ExamplesAndSumToOne) {
    EXPECT_EQ(phgz(1, 1, 2, 1.0, 1.0), 0.25);
    EXPECT_EQ(phgz(1, 1, 2, 1.0, 3.0), 0.5);        // 0.75 / 1.5
    EXPECT_EQ(phgz(0, 1, 1, 2.0, 5.0), 1.0 / 1.5);  // (0.5 * 2) / (0.5 + 1.0)
    EXPECT_EQ(phgz(0, 0, 0, 7.0, 0.1), 1.0);        // homozygous parents: certain
    EXPECT_EQ(phgz(0, 0, 1, 7.0, 0.1), 0.0);
    test_support::TestRng rng(20240611);
    for (int trial = 0; trial < 200; ++trial) {
        const double nu1 = std::exp(4.0 * rng.normal()), nu2 = std::exp(4.0 * rng.normal());
        for (int f = 0; f <= 2; ++f)
            for (int m = 0; m <= 2; ++m)
                // Two roundings in the shared denominator, one per quotient, two in the sum:
                // about 5 units of 1.1e-16.
                EXPECT_NEAR(phgz(f, m, 0, nu1, nu2) + phgz(f, m, 1, nu1, nu2) + phgz(f, m, 2, nu1, nu2), 1.0, 1e-15);
    }
}

}  // namespace
}  // namespace quillon
