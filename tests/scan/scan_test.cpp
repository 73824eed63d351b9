// quillon scan against the single run: every row of a simulated study holds the doubles the
// single run's reader and analysis give on that marker's families written as its three files,
// for every status model and covariate model.  (The scan's exact files: tests/scan/data.)

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>

#include "formats/genotypes.hpp"
#include "formats/marker_families.hpp"
#include "input/pedigree_input.hpp"
#include "model/analysis.hpp"
#include "report/pvalues.hpp"
#include "support/program.hpp"

namespace quillon {
namespace {

using namespace test_support;

// A TSV field holds exactly x (from_chars inverts to_chars), NA for a NaN.
void expect_field(const std::string& field, double x, const std::string& column) {
    double read = std::nan("");
    if (field != "NA") {
        const auto r = std::from_chars(field.data(), field.data() + field.size(), read);
        ASSERT_TRUE(r.ec == std::errc() && r.ptr == field.data() + field.size()) << column << " " << field;
    }
    if (std::isnan(x))
        EXPECT_EQ(field, "NA") << column;
    else
        EXPECT_EQ(read, x) << column << " " << field;
}

// wpedigree.dat, wcovars.dat and wweights.dat holding the marker's kept families in their
// member order: the .fam phenotypes, the genotypes, the study's covariate and weight text
// ("0" for placeholders).
void write_single_run_files(const TempDir& dir, const Study& study, const MarkerFamilies& mf,
                            const std::vector<std::int8_t>& genotype) {
    std::string ped, cov, wt;
    const char* alleles[] = {"0 0", "1 1", "1 2", "2 2"};
    for (std::size_t k = 0; k < mf.kept.size(); ++k)
        for (std::size_t m = 0; m < mf.members[k].size(); ++m) {
            const long p = mf.members[k][m];
            const auto up = static_cast<std::size_t>(p);
            ped += std::to_string(mf.kept[k] + 1) + " " + std::to_string(m + 1) + (m < 2 ? " 0 0 " : " 1 2 ") +
                   (m == 1 ? "2 " : "1 ") + std::to_string(p < 0 ? 0 : study.people[up].phenotype) + " 0 " +
                   alleles[p < 0 ? 0 : genotype[up] + 1] + "\n";
            for (long c = 0; c < study.ncov(); ++c)
                cov += (c ? " " : "") + (p < 0 ? std::string("0") : study.covariate_text[up][static_cast<std::size_t>(c)]);
            cov += "\n";
            wt += (p < 0 ? std::string("0") : study.weight_text[up]) + "\n";
        }
    dir.write("wpedigree.dat", ped);
    dir.write("wcovars.dat", cov);
    dir.write("wweights.dat", wt);
}

// Each study has every kind of family: placeholder parents, untyped fathers, both parents
// untyped, father-only families, untyped children, Mendel errors and missing phenotypes; the
// counts below keep the comparison from being vacuous.
TEST(ScanRows, AreTheSingleRunOnEachMarkersFamilies) {
    long analysed = 0, kinds[7] = {};
    for (int smodel = 1; smodel <= 3; ++smodel)
        for (int cmodel = 0; cmodel <= 3; ++cmodel) {
            SCOPED_TRACE("status model " + std::to_string(smodel) + ", covariate model " + std::to_string(cmodel));
            const int columns = smodel == 1 && cmodel == 0 ? 0 : 1 + (smodel + cmodel) % 2;
            const bool all_children = smodel == 2;
            TempDir dir;
            std::vector<std::string> sim = {
                "--families", "40", "--max-size", "6", "--untyped-father", "0.2", "--untyped-parents", "0.15",
                "--missing-phenotype", "0.1", "--markers", "10", "--allele-freq", "0.1,0.5", "--untyped-children",
                "0.1", "--genotype-errors", "0.02", "--unaffected-children", "0.2", "--father-only", "0.15",
                "--weights", "random", "--effect-share", "0.3", "--bfile", "st", "--weight-file", "st.w", "--seed",
                std::to_string(100 * smodel + cmodel)};
            std::vector<std::string> args = {"scan", "--bfile", "st", "--weights", "st.w", "--status-model",
                                             std::to_string(smodel), "--covariate-model", std::to_string(cmodel)};
            if (columns > 0) {
                sim.insert(sim.end(), {"--ncov", std::to_string(columns), "--model", "additive", "--beta",
                                       columns == 1 ? "0.4" : "0.4,-0.3", "--covar", "st.covar"});
                args.insert(args.end(), {"--covar", "st.covar"});
            } else {
                args.push_back("--no-intercept");
            }
            if (all_children) args.push_back("--all-children");
            ASSERT_EQ(run_program(QUILLON_SIMULATE_BIN, sim, dir.path(), "").status, 0);
            const RunResult r = run_program(QUILLON_BIN, args, dir.path(), "");
            ASSERT_EQ(r.status, 0) << r.err;
            const auto tsv = table(dir.read("quillon.tsv"), '\t');

            const StudyOptions so{.intercept = columns > 0, .covar_names = {}, .all_children = all_children};
            const Study study = form_study(dir.file("st.fam"), columns > 0 ? dir.file("st.covar") : "", dir.file("st.w"), so);
            Settings s{.ncov = study.ncov(), .smodeltype = smodel, .cmodeltype = cmodel};
            derive_model_codings(s);
            const long np = s.npars;
            const auto reader = open_bed(dir.file("st"), study.people);
            ASSERT_EQ(static_cast<long>(tsv.size()), reader->marker_count() + 1);
            Marker m;
            MarkerFamilies mf;
            for (std::size_t row = 1; reader->next(m); ++row) {
                const std::vector<std::string>& f = tsv[row];
                SCOPED_TRACE("marker " + m.info.id);
                ASSERT_EQ(f.size(), tsv[0].size());
                build_marker_families(study, m.genotype, mf);
                EXPECT_EQ(f[1] + " " + f[5] + " " + f[6] + " " + f[7],
                          m.info.id + " " + std::to_string(mf.kept.size()) + " " + std::to_string(mf.children) + " " +
                              std::to_string(mf.mendel.size()));
                if (mf.kept.empty() || mf.monomorphic) continue;
                kinds[0] += !mf.mendel.empty();
                for (std::size_t k = 0; k < mf.kept.size(); ++k) {
                    const std::vector<long>& p = mf.members[k];
                    const NuclearFamily& nf = study.families[static_cast<std::size_t>(mf.kept[k])];
                    const auto typed = [&](long q) { return q >= 0 && m.genotype[static_cast<std::size_t>(q)] >= 0; };
                    kinds[1] += p[0] < 0 || p[1] < 0;
                    kinds[2] += !typed(p[0]) && typed(p[1]);
                    kinds[3] += !typed(p[0]) && !typed(p[1]);
                    kinds[4] += nf.father >= 0 && p[1] == nf.father;
                    kinds[5] += p.size() - 2 < nf.children.size();
                    for (const long q : p) kinds[6] += q >= 0 && study.people[static_cast<std::size_t>(q)].phenotype == 0;
                }
                const TempDir single;
                write_single_run_files(single, study, mf, m.genotype);
                FamilyTable fams = read_families(s, single.path(), TempFile().get());
                Analysis a;
                try {
                    a = analyse(s, fams, build_genotype_table(largest_family(fams)));
                } catch (const NumericalError& e) {
                    EXPECT_EQ(f.back(), std::string("failed:") + e.what());
                    continue;
                }
                ++analysed;
                const double na = std::nan("");
                const bool wald = np > 2, nfs = a.nfs.defined;
                std::vector<double> expected = {a.fit.gammma[0], a.fit.gammma[1], std::sqrt(a.info.subJI[np - 1][np - 1]),
                                                a.fit.gammma[2], std::sqrt(a.info.subJI[np][np])};
                for (long i = 1; i <= np - 2; ++i) expected.insert(expected.end(), {a.fit.ogpars[i], std::sqrt(a.info.subJI[i][i])});
                expected.insert(expected.end(), {a.fit.fret, wald ? a.info.waldstat : na, wald ? a.info.wsdf : na,
                                                 wald ? chisq_upper_tail(a.info.waldstat, a.info.wsdf) : na,
                                                 nfs ? a.nfs.statistic : na, nfs ? a.nfs.denominator : na,
                                                 nfs ? normal_two_sided(a.nfs.statistic) : na});
                ASSERT_EQ(expected.size() + 9, f.size());
                for (std::size_t c = 0; c < expected.size(); ++c) expect_field(f[8 + c], expected[c], tsv[0][8 + c]);
                const std::string warnings = std::string(a.info.near_singular ? ",near_singular" : "") +
                                             (nfs ? "" : ",nfs_undefined");
                EXPECT_EQ(f.back(), warnings.empty() ? "ok" : "warning:" + warnings.substr(1));
            }
        }
    EXPECT_GT(analysed, 80);
    for (const long n : kinds) EXPECT_GT(n, 0);
}

}  // namespace
}  // namespace quillon
