#include "quillon/data_checks.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quillon {
namespace {

const std::string kPhenotype =
    "\nERROR:  Family 8: This family has an impermissible penotype.\n"
    "Each individual must have a phenotype of 0(missing) or 1 or 2\n";
const std::string kHalf = "\nERROR: Family 8: An individual has only one of two alleles known.\n";
const std::string kUntypedChild = "\nERROR:  Family 8: This child  has an unknown  genotype.\n";
const std::string kAllele = "\nERROR: Family 8: An individual has an allele other than 0, 1 or 2 (ped line 12).\n";
const std::string kPattern = "\nERROR: Family 8: Family genotypes are inconsistant.\n";
const std::string kMotherFather = "\nERROR: Family 8: Mother's genotype is unknown.  Father's is known.\n";

// Runs `check` with a memory stream and returns what it printed.
template <class Check>
std::string printed(Check check) {
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* out = open_memstream(&buf, &len);
    check(out);
    std::fclose(out);
    std::string text(buf, len);
    std::free(buf);
    return text;
}

TEST(LineChecks, MessagesInOrder) {
    struct Case {
        long phenotype, a1, a2;
        bool child;
        std::string expected;
    };
    const long huge = 9'000'000'000'000'000'000L;  // the product of two would overflow
    const std::vector<Case> cases = {
        {1, 1, 2, true, ""},
        {0, 0, 0, false, ""},  // an untyped founder is fine
        {3, 1, 1, false, kPhenotype},
        {-1, 1, 1, false, kPhenotype},
        {2, 0, 2, true, kHalf + kUntypedChild},
        {2, 0, 0, true, kUntypedChild},
        {2, 2, 0, false, kHalf},
        {7, 3, 0, true, kPhenotype + kHalf + kUntypedChild + kAllele},
        {1, huge, huge, false, kAllele},
    };
    for (const Case& c : cases) {
        LineCheckResult r;
        EXPECT_EQ(printed([&](std::FILE* out) {
                      r = check_pedigree_line(8, c.phenotype, c.a1, c.a2, c.child, "ped", 12, out);
                  }),
                  c.expected)
            << c.phenotype << " " << c.a1 << " " << c.a2;
        EXPECT_EQ(r.passed, c.expected.empty());
        EXPECT_EQ(r.alleles_valid, c.expected.find("allele other") == std::string::npos);
    }
    EXPECT_EQ(genotype_code(2, 0, false), 0);  // a half-typed founder keeps a1 + a2 - 2
    EXPECT_EQ(genotype_code(2, 0, true), -1);
}

// What check_families prints for one family of the given genotypes.
std::string family_messages(const std::vector<int>& g, int allele_fault = 0) {
    const int n = static_cast<int>(g.size());
    FamilyTable t;
    t.nfam = 1;
    t.fam = IndexVector<famdat>(1, 1);
    t[1].famid = 8;
    t[1].ninfam = n;
    t[1].famgeno = ivector(1, n);
    for (int i = 1; i <= n; ++i) t[1].famgeno[i] = g[static_cast<std::size_t>(i - 1)];
    FamilyNotes notes{lvector(1, 1), lvector(1, 1), ivector(1, 1)};
    notes.size[1] = n, notes.first_line[1] = 5, notes.allele_fault[1] = allele_fault;
    bool passed = false;
    const std::string text = printed([&](std::FILE* out) { passed = check_families(t, notes, "ped", out); });
    EXPECT_EQ(passed, text.empty());
    return text;
}

TEST(FamilyChecks, GenotypePatternMotherFatherRuleAndSize) {
    EXPECT_EQ(family_messages({-1, 2, 0}), kPattern);
    EXPECT_EQ(family_messages({-1, -1, 0, 1, 2}), "");
    EXPECT_EQ(family_messages({2, 2, 0}), kPattern);  // typed parents who cannot have this child
    EXPECT_EQ(family_messages({2, 2, 2, 2}), "");
    const std::string rule = family_messages({2, -1, 0});  // the rule, and no pattern message
    EXPECT_EQ(rule.substr(0, kMotherFather.size()), kMotherFather);
    EXPECT_EQ(rule.find("inconsistant"), std::string::npos);
    EXPECT_EQ(family_messages({-1, 1, 2}), "");            // typed mother, untyped father
    EXPECT_EQ(family_messages({2, -1, 0}, 1), "");         // an invalid allele was reported already
    EXPECT_EQ(family_messages({0, 0}),
              "\nERROR: Family 8 (ped line 5) has 2 members; a family must have 3 to 10: a father, a mother and 1 to 8 "
              "children.\n");
}

}  // namespace
}  // namespace quillon
