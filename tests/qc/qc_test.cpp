// Per-marker quality control: the exact test against brute force, the counts on a hand-made
// family set, and the filters at the thresholds where PLINK 1.9 was seen to stop keeping a marker.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "qc/hwe.hpp"
#include "qc/person_list.hpp"
#include "support/program.hpp"

namespace quillon {
namespace {

// Brute force over every genotype split (x, y, z) of n people with r copies of one allele:
// P = n! / (x! y! z!) 2^y r! (2n - r)! / (2n)!, summed where no more probable than observed.
double brute_force_hwe(long aa, long ab, long bb) {
    const long n = aa + ab + bb, r = 2 * aa + ab;
    const auto log_p = [&](long x, long y, long z) {
        return std::lgamma(n + 1.0) - std::lgamma(x + 1.0) - std::lgamma(y + 1.0) - std::lgamma(z + 1.0) +
               y * std::log(2.0) + std::lgamma(r + 1.0) + std::lgamma(2.0 * n - r + 1) - std::lgamma(2.0 * n + 1);
    };
    double p = 0;
    for (long x = 0; x <= n; ++x)
        for (long y = 0; x + y <= n; ++y)
            if (2 * x + y == r && log_p(x, y, n - x - y) <= log_p(aa, ab, bb) + 1e-9)
                p += std::exp(log_p(x, y, n - x - y));
    return p;
}

TEST(Qc, HweExactPIsTheBruteForceSum) {
    // Empty, monomorphic, a tie at the mode (1,2,3), ties across it ((2,30,187) with (0,34,185)
    // and (12,62,91) with (10,66,89)), far tails.
    const GenotypeCounts cases[] = {{0, 0, 0},    {0, 0, 9},    {1, 2, 3},    {1, 3, 1},    {10, 40, 3},
                                    {5, 0, 5},    {20, 5, 20},  {2, 30, 187}, {0, 34, 185}, {12, 62, 91},
                                    {10, 66, 89}, {300, 200, 500}};
    for (const GenotypeCounts& c : cases)
        EXPECT_NEAR(hwe_exact_p(c), brute_force_hwe(c.hom_a1, c.het, c.hom_a2), 1e-9 * hwe_exact_p(c)) << c.het;
}

TEST(Qc, CountsOfAHandMadeFamilySet) {
    test_support::TempDir d;
    // Founders m1 (male), m2 (female), m3 (unknown sex), d, m, w; d and m have a son s, a daughter
    // t and u of unknown sex (so not affected); v's mother is not in the file (no trio, no
    // founder).  w is removed, and the list names a stranger.
    d.write("f.fam", "1 m1 0 0 1 1\n1 m2 0 0 2 1\n1 m3 0 0 0 1\n2 d 0 0 1 1\n2 m 0 0 2 1\n2 s d m 1 2\n"
                     "2 t d m 2 2\n2 u d m 0 2\n2 v d x 2 2\n3 w 0 0 2 1\n");
    d.write("remove", "3\tw extra\r\n\nno body\n");
    d.write("bad", "3 w\n3\n");
    const auto people = read_fam(d.file("f.fam"));
    std::vector<std::string> log;
    const std::vector<char> keep = keep_mask(people, "", d.file("remove"), log);
    EXPECT_EQ(log, std::vector<std::string>(
                       {"--remove " + d.file("remove") + ": 9 of 10 people kept; 1 line names nobody in the .fam."}));
    EXPECT_THROW(keep_mask(people, d.file("bad"), "", log), InputError);
    const QcPeople q = qc_people(people, keep);
    //                            m1 m2 m3 d  m  s  t  u  v   w
    const std::vector<std::int8_t> a = {1, 2, 1, 0, 1, 1, 1, 2, -1, -1}, c = {1, 2, 1, 0, 1, 2, 1, 1, -1, -1};
    // Autosomes: founders' copies 1+2+1+0+1 of A1, 1+0+1+2+1 of A2; HWE 1/3/1.  On X the male m1
    // is het (missing) and d has one copy: A1 2+1+1, A2 1+1+1; HWE m2, m3, m: 1/2/0.  One call of
    // the nine kept is missing; 3 trios.  In a the child u (2) of a father 0 is an error, which
    // leaves the family out; in c the son s (2) is one on autosomes only, and on X his mother's
    // A1 and t's make T 2.  Expected: A1, A2, hom A1, het, hom A2, errors, T, U.
    const std::pair<const std::vector<std::int8_t>*, std::vector<long>> cases[] = {
        {&a, {5, 5, 1, 3, 1, 1, 0, 0}}, {&a, {4, 3, 1, 2, 0, 1, 0, 0}},
        {&c, {5, 5, 1, 3, 1, 1, 0, 0}}, {&c, {4, 3, 1, 2, 0, 0, 2, 0}}};
    for (int i = 0; i < 4; ++i) {
        const MarkerQc m = marker_qc(q, *cases[i].first, i % 2 ? ChromosomeClass::kX : ChromosomeClass::kAutosome);
        EXPECT_EQ(std::vector<long>({m.alleles.a1, m.alleles.a2, m.hwe.hom_a1, m.hwe.het, m.hwe.hom_a2, m.mendel.errors,
                                     m.tdt.t, m.tdt.u}), cases[i].second) << i;
        EXPECT_EQ(m.missing * 10 + m.mendel.trios, 13) << i;
    }
}

TEST(Qc, FiltersStopKeepingWherePlinkDoes) {
    // Pairs of thresholds one double apart: PLINK 1.9 kept the marker at the first and removed it
    // at the second (MAF of 1 copy in 20, of A1 then of A2; 7 and 777 calls missing of 1000; 1
    // error in 7 trios).
    const double a1_rare = minor_allele_frequency({1, 19}), a2_rare = minor_allele_frequency({19, 1});
    EXPECT_EQ(std::vector<bool>({maf_kept(a1_rare, 0.05000000000000289), maf_kept(a1_rare, 0.050000000000002896),
                                 maf_kept(a2_rare, 0.05000000000000285), maf_kept(a2_rare, 0.050000000000002855),
                                 geno_kept(7, 1000, 0.006999999999943552), geno_kept(7, 1000, 0.006999999999943551),
                                 geno_kept(777, 1000, 0.7769999999999874), geno_kept(777, 1000, 0.7769999999999873),
                                 mendel_kept({1, 7}, 0.14285714285713472), mendel_kept({1, 7}, 0.1428571428571347)}),
              std::vector<bool>({true, false, true, false, true, false, true, false, true, false}));
}

}  // namespace
}  // namespace quillon
