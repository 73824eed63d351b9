// Nuclear families from a .fam, and each marker's family table after rules 1-4.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/program.hpp"
#include "formats/marker_families.hpp"
#include "genetics/patterns.hpp"
#include "input/data_checks.hpp"

namespace quillon {
namespace {

std::string iid(const Study& s, long p) {
    return p < 0 ? std::string("?") : s.people[static_cast<std::size_t>(p)].iid;
}

// p1 is a child of g1 g2 and the father of k1 (with m1) and of h1 (with the absent m9);
// y1's father x is absent from B (but in A) and its mother 0; m2 and w (sex 1: a warning)
// have ten affected children (c9's b is -9, c10 has no covariates), u1 unaffected and u2 of
// missing phenotype; d1 is in no family.  (The study's log on a variant of these files: the
// scan data folder study_formation.)
const std::string kFam =
    "A k1 p1 m1 1 2\nA g1 0 0 1 1\nA g2 0 0 2 1\nA p1 g1 g2 1 2\nA m1 0 0 2 1\nA h1 p1 m9 2 2\n"
    "B y1 x 0 1 2\n"
    "C m2 0 0 1 1\nC u1 m2 w 1 1\nC c1 m2 w 1 2\nC c2 m2 w 1 2\nC c3 m2 w 1 2\nC c4 m2 w 1 2\nC u2 m2 w 2 0\n"
    "C c5 m2 w 1 2\nC c6 m2 w 1 2\nC c7 m2 w 1 2\nC c8 m2 w 1 2\nC c9 m2 w 1 2\nC c10 m2 w 1 2\nC c11 m2 w 1 2\n"
    "C w 0 0 1 1\nC d1 0 0 2 2\nA x 0 0 1 1\n";
const std::string kCov =
    "FID\tIID a b\nA k1 1 2\nA p1 1 2\nA h1 -1.5 NA\nB y1 0.25 3\nC u1 1 1\nC u2 1 1\nC c9 1 -9\nC c1 1 0\n"
    "C c2 2 0\nC c3 3 0\nC c4 4 0\nC c5 5 0\nC c6 6 0\nC c7 7 0\nC c8 8 0\nC c11 11 0\nZ nobody 1 1\n";

TEST(FormStudy, FamiliesFromTheFam) {
    test_support::TempDir dir;
    dir.write("s.fam", kFam);
    dir.write("s.cov", kCov);
    const struct {
        bool all_children;
        std::vector<std::string> names;
        std::string families;
    } cases[] = {
        {false, {}, "A p1 m1: k1|A g1 g2: p1|B ? ?: y1|C m2 w: c1 c2 c3 c4 c5 c6 c7 c8|"},
        {false, {"a"}, "A p1 m1: k1|A g1 g2: p1|A p1 ?: h1|B ? ?: y1|C m2 w: c1 c2 c3 c4 c5 c6 c7 c8|"},
        {true, {"a"}, "A p1 m1: k1|A g1 g2: p1|A p1 ?: h1|B ? ?: y1|C m2 w: u1 c1 c2 c3 c4 u2 c5 c6|"},
    };
    for (const auto& c : cases) {
        const StudyOptions options{.covar_names = c.names, .all_children = c.all_children};
        const Study s = form_study(dir.file("s.fam"), dir.file("s.cov"), "", options);
        std::string families;
        for (const NuclearFamily& f : s.families) {
            families += f.fid + " " + iid(s, f.father) + " " + iid(s, f.mother) + ":";
            for (long ch : f.children) families += " " + iid(s, ch);
            families += "|";
        }
        EXPECT_EQ(families, c.families);
    }
}

// F: f1 m1 with k1 k2; G: k3 of two placeholders; H: f3 m3 with k4.  Covariate a, weights;
// m1 has neither (0 in the table), f1 both, m3 a weight but phenotype missing (weight 0).
// Each case: the genotypes of f1 m1 k1 k2 k3 f3 m3 k4, then each kept family as famid, then
// per member iid=genotype,phenotype,covariates,weight; the Mendel errors; whether monomorphic.
TEST(MarkerFamilies, RulesOneToFour) {
    test_support::TempDir dir;
    dir.write("s.fam",
              "F f1 0 0 1 1\nF m1 0 0 2 1\nF k1 f1 m1 1 2\nF k2 f1 m1 2 2\nG k3 f2 m2 1 2\n"
              "H f3 0 0 1 1\nH m3 0 0 2 -9\nH k4 f3 m3 2 2\n");
    dir.write("s.cov", "FID IID a\nF k1 0.5\nF k2 2\nG k3 -1\nH k4 3\nF f1 7\n");
    dir.write("s.wts", "FID IID WEIGHT\nF k1 2\nF k2 0.5\nG k3 1\nH k4 1\nF f1 9\nH m3 1\n");
    const Study study = form_study(dir.file("s.fam"), dir.file("s.cov"), dir.file("s.wts"), StudyOptions{});
    const struct {
        std::vector<std::int8_t> genotypes;
        std::string table;
    } cases[] = {
        {{1, 1, 2, 0, 1, 2, 2, 2},
         "1: f1=1,1,1 7,9 m1=1,1,1 0,0 k1=2,2,1 0.5,2 k2=0,2,1 2,0.5 | 2: ?=-1,0,0 0,0 ?=-1,0,0 0,0 k3=1,2,1 -1,1 | "
         "3: f3=2,1,1 0,0 m3=2,0,1 0,0 k4=2,2,1 3,1 | mendel: | polymorphic"},
        // rule 1: untyped k1 left out, G without a typed child left out
        {{1, 1, -1, 0, -1, 2, 2, 2},
         "1: f1=1,1,1 7,9 m1=1,1,1 0,0 k2=0,2,1 2,0.5 | 3: f3=2,1,1 0,0 m3=2,0,1 0,0 k4=2,2,1 3,1 | mendel: | "
         "polymorphic"},
        // rule 2: two typed parents and an impossible child; a typed father whose child
        // cannot be his (found after the swap)
        {{0, 0, 1, -1, 2, 2, -1, 0}, "2: ?=-1,0,0 0,0 ?=-1,0,0 0,0 k3=2,2,1 -1,1 | mendel: F k1 H k4 | monomorphic"},
        // rule 3: a typed father with an untyped mother changes places with her
        {{1, -1, 2, 2, 1, -1, -1, 0},
         "1: m1=-1,1,1 0,0 f1=1,1,1 7,9 k1=2,2,1 0.5,2 k2=2,2,1 2,0.5 | 2: ?=-1,0,0 0,0 ?=-1,0,0 0,0 k3=1,2,1 -1,1 | "
         "3: f3=-1,1,1 0,0 m3=-1,0,1 0,0 k4=0,2,1 3,1 | mendel: | polymorphic"},
    };
    MarkerFamilies out;  // reused from case to case
    for (const auto& c : cases) {
        build_marker_families(study, c.genotypes, out);
        std::ostringstream text;
        FamilyNotes notes{lvector(1, out.table.nfam), lvector(1, out.table.nfam),
                          ivector(1, static_cast<int>(out.table.nfam))};
        for (long i = 1; i <= out.table.nfam; ++i) {
            const famdat& f = out.table[i];
            notes.size[i] = f.ninfam, notes.first_line[i] = i, notes.allele_fault[i] = 0;
            text << f.famid << ":";
            for (int m = 1; m <= f.ninfam; ++m) {
                text << " " << iid(study, out.members(static_cast<std::size_t>(i - 1))[static_cast<std::size_t>(m - 1)])
                     << "=" << f.famgeno[m] << "," << f.phenodat[m] << "," << f.fcovdat[m][1] << " " << f.fcovdat[m][2]
                     << "," << f.weight[m];
            }
            ParentPairs pairs;  // the fit reads the compatible pairs from the record
            gx(f.famgeno, f.ninfam, f.famid, pairs);
            EXPECT_EQ(f.npgeno, pairs.unpgeno);
            for (long k = 1; k <= std::max<long>(f.npgeno, f.pgenos.row_hi()); ++k)
                for (int p = 1; p <= 2; ++p) EXPECT_EQ(f.pgenos[k][p], k <= f.npgeno ? pairs.upgenos[k][p] : 0);
            text << " | ";
        }
        text << "mendel:";
        for (const MendelError& e : out.mendel)
            for (long ch : e.children)
                text << " " << study.families[static_cast<std::size_t>(e.family)].fid << " " << iid(study, ch);
        text << " | " << (out.monomorphic ? "monomorphic" : "polymorphic");
        EXPECT_EQ(text.str(), c.table);
        EXPECT_TRUE(check_families(out.table, notes, "s", stdout));  // the single run accepts the table
    }
}

}  // namespace
}  // namespace quillon
