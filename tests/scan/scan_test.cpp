// quillon scan against the single run: every analysed row of every scan data folder holds the
// doubles the single run's reader and analysis give on that marker's families written as its
// three files.  (The scan data folders' runner holds the rows to what the scan makes today.)

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

#include "formats/genotypes.hpp"
#include "formats/marker_families.hpp"
#include "formats/x_genotypes.hpp"
#include "input/pedigree_input.hpp"
#include "method/x_linked_tdt.hpp"
#include "method/likelihood_tdt.hpp"
#include "model/analysis.hpp"
#include "method/tail_probabilities.hpp"
#include "scan/options.hpp"
#include "scan/scan_support.hpp"
#include "support/data_folder.hpp"

namespace quillon {
namespace {

using namespace test_support;

// A number as the TSV holds it: the shortest text that reads back as x (std::to_chars), NA for a NaN.
std::string field(double x) {
    char text[32];
    return std::isnan(x) ? "NA" : std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// The rows without the marker's PLINK counts and the columns of the tests built on the fit
// (p-values of the coefficients, -log10 p, covariances, GXE_, LRT_, MARG_), checked in tests/method,
// and the score tests' (checked against the single run's apart).
std::vector<std::vector<std::string>> fit_columns(std::vector<std::vector<std::string>> rows) {
    std::vector<bool> keep;
    for (const std::string& h : rows[0])
        keep.push_back(!(h == "A1_FREQ" || h == "T" || h == "U" || h.ends_with("_LOG10P") ||
                         (h.ends_with("_P") && h != "WALD_P" && h != "NFS_P") || h.starts_with("COV_") ||
                         h.starts_with("GXE_") || h.starts_with("LRT_") || h.starts_with("MARG_") ||
                         h.starts_with("PREV_FATHER_A1") || h.starts_with("SCORE_")));
    for (auto& row : rows) {
        std::vector<std::string> kept;
        for (std::size_t c = 0; c < row.size(); ++c)
            if (c >= keep.size() || keep[c]) kept.push_back(row[c]);
        row = std::move(kept);
    }
    return rows;
}

// wpedigree.dat, wcovars.dat and wweights.dat holding the marker's kept families in their
// member order: the .fam phenotypes, the genotypes (on X a male's allele written homozygous,
// with the children's sexes), the study's covariate and weight text ("0" for placeholders);
// with strata the family's stratum first (--strata-column 1).
void write_single_run_files(const TempDir& dir, const Study& study, const MarkerFamilies& mf, bool on_x) {
    std::string ped, cov, wt;
    const char* alleles[] = {"0 0", "1 1", "1 2", "2 2"};
    for (std::size_t k = 0; k < mf.kept.size(); ++k)
        for (std::size_t m = 0; m < mf.members(k).size(); ++m) {
            const long p = mf.members(k)[m];
            const auto up = static_cast<std::size_t>(p);
            const famdat& f = mf.table[static_cast<long>(k) + 1];
            const int j = static_cast<int>(m) + 1, g = f.famgeno[j], sex = j <= 2 ? j : on_x ? f.sex[j] : 1;
            ped += std::to_string(mf.kept[k] + 1) + " " + std::to_string(j) + (m < 2 ? " 0 0 " : " 1 2 ") +
                   std::to_string(sex) + " " + std::to_string(p < 0 ? 0 : study.people[up].phenotype) + " 0 " +
                   alleles[g < 0 ? 0 : on_x && sex == 1 ? 2 * g + 1 : g + 1] + "\n";
            if (!study.strata.empty())
                cov += study.strata[static_cast<std::size_t>(study.family_stratum[static_cast<std::size_t>(mf.kept[k])])] + " ";
            for (long c = 0; c < study.ncov(); ++c)
                cov += (c ? " " : "") + (p < 0 ? std::string("0") : field(study.covariates(up)[c]));
            cov += "\n";
            wt += (p < 0 ? std::string("0") : field(study.weight[up])) + "\n";
        }
    dir.write("wpedigree.dat", ped);
    dir.write("wcovars.dat", cov);
    dir.write("wweights.dat", wt);
}

class ScanRows : public ::testing::TestWithParam<std::string> {};

TEST_P(ScanRows, AreTheSingleRunOnEachMarkersFamilies) {
    const fs::path from = fs::path(QUILLON_SCAN_DATA) / GetParam();
    std::vector<std::string> args = read_args(from / "args");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    const ScanParse parsed = parse_scan_options(static_cast<int>(argv.size()), argv.data());
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const ScanOptions& o = parsed.options;
    const auto path = [&](const std::string& name) { return name.empty() ? name : (from / name).string(); };
    const Study study = form_study(path(o.fam.empty() ? o.bfile + ".fam" : o.fam), path(o.covar), path(o.weights),
                                   {.intercept = o.intercept, .covar_names = o.covar_names, .all_children = o.all_children,
                                    .complete_trios = o.complete_trios, .strata = o.strata});
    Settings s = o.settings;
    s.ncov = study.ncov();
    s.nstrata = std::max<long>(1, static_cast<long>(study.strata.size()));
    derive_model_codings(s);
    const auto full = table(slurp(from / "expected.tsv"), '\t');
    const auto tsv = fit_columns(full);
    std::map<std::string, std::size_t> row_of;
    for (std::size_t r = 1; r < tsv.size(); ++r) row_of[tsv[r][1]] = r;
    const auto reader = o.bfile.empty() ? open_vcf(path(o.vcf), study.people) : open_bed(path(o.bfile), study.people);
    Marker m;
    MarkerFamilies mf;
    std::size_t rows = 0;
    const std::vector<char> everyone(study.people.size(), 1);
    while (reader->next(m)) {
        prepare_marker(m, study.x_sex, everyone, o.split_par);
        const bool on_x = m.info.chr_class == ChromosomeClass::kX;
        if (!row_of.contains(m.info.id) || (++rows, m.info.chr_class == ChromosomeClass::kOther) ||
            m.info.multiallelic)
            continue;
        const std::vector<std::string>& f = tsv[row_of[m.info.id]];
        SCOPED_TRACE("marker " + m.info.id);
        if (f[5] == "NA") continue;  // skipped before its families: a filter, or X with the score tests alone
        build_marker_families(study, m.genotype, mf, m.info.chr_class);
        EXPECT_EQ(f[5] + " " + f[6] + " " + f[7], std::to_string(mf.kept.size()) + " " + std::to_string(mf.children) +
                                                      " " + std::to_string(mf.mendel.size()));
        if (mf.kept.empty() || mf.monomorphic) continue;
        const TempDir single;
        write_single_run_files(single, study, mf, on_x);
        StrataInput strata{study.strata.empty() ? 0 : 1, {}};
        if (on_x) {  // the single run's --chromosome x, every column of the X test by name
            FamilyTable fams = read_families(s, single.path(), TempFile().get(), TempFile().get(), ChromosomeClass::kX, &strata);
            const XLinkedTdt test(s, {.intercept = o.intercept, .robust = o.robust_se, .xchr_model = o.xchr_model,
                                      .xchr_tie_freq = o.xchr_tie_freq, .strata = study.strata});
            const MarkerResult r = test.run(fams, GenotypeTable{});
            const Schema columns = test.schema(study.covariate_names);
            for (std::size_t c = 0, at = 0; c < columns.size(); ++c, at = 0) {
                while (full[0][at] != columns[c].name) ++at;
                EXPECT_EQ(full[row_of[m.info.id]][at], r.failed() ? "NA" : field(r.values[c])) << columns[c].name;
            }
            continue;
        }
        FamilyTable fams = read_families(s, single.path(), TempFile().get(), TempFile().get(),
                                         ChromosomeClass::kAutosome, &strata);
        EXPECT_TRUE(study.strata.empty() || strata.labels == study.strata);  // every stratum at every marker analysed
        if (o.score) {  // the score tests' every column, alone or with the full fit
            const LikelihoodTdt score(s, {.intercept = o.intercept, .wald = false, .score = true, .strata = study.strata});
            const Schema columns = score.schema(study.covariate_names);
            const MarkerResult r = score.run(fams, build_genotype_table(largest_family(fams)));
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const auto at = std::find(full[0].begin(), full[0].end(), columns[c].name) - full[0].begin();
                EXPECT_EQ(full[row_of[m.info.id]][static_cast<std::size_t>(at)], field(r.values[c])) << columns[c].name;
            }
            if (!o.wald || f.back() == "ok:score_only") continue;
        }
        Analysis a;
        try {
            a = analyse(s, fams, build_genotype_table(largest_family(fams)));
        } catch (const NumericalError& e) {
            EXPECT_EQ(f.back(), std::string("failed:") + e.what());
            continue;
        }
        const double na = std::nan("");
        const bool wald = coefficients(s) > 0, nfs = a.nfs.defined;
        std::vector<double> expected;
        for (long k = 0; k < s.nstrata; ++k) {
            const double* g = &a.fit.strata_gammma[static_cast<std::size_t>(3 * k)];
            const long e = prevalence_slot(s, k);
            expected.insert(expected.end(), {g[0], g[1], std::sqrt(a.info.subJI[e][e]), g[2], std::sqrt(a.info.subJI[e + 1][e + 1])});
        }
        for (long i = 1; i <= coefficients(s); ++i) expected.insert(expected.end(), {a.fit.ogpars[i], std::sqrt(a.info.subJI[i][i])});
        expected.insert(expected.end(), {a.fit.fret, wald ? a.info.waldstat : na, wald ? a.info.wsdf : na,
                                         wald ? chisq_upper_tail(a.info.waldstat, a.info.wsdf) : na,
                                         nfs ? a.nfs.statistic : na, nfs ? a.nfs.denominator : na,
                                         nfs ? normal_two_sided(a.nfs.statistic) : na});
        ASSERT_EQ(expected.size() + 9, f.size());
        for (std::size_t c = 0; c < expected.size(); ++c) EXPECT_EQ(f[8 + c], field(expected[c])) << tsv[0][8 + c];
        // (The words of the tests built on the fit, and an undefined NFS that the design alone
        // explains, said once in the log, are not the fit's.)
        std::string status = f.back().starts_with("warning:") ? "," + f.back().substr(8) : "";
        for (const std::string w : {",nested_fit_failed", ",nfs_undefined", ",short_of_maximum", ",score_undefined"})
            if (const auto at = status.find(w); at != std::string::npos) status.erase(at, w.size());
        const std::string warnings = std::string(a.fell_back ? ",fallback_powell" : "") +
                                     (a.info.near_singular ? ",near_singular" : "");
        EXPECT_EQ(status, warnings) << f.back();
    }
    EXPECT_EQ(rows, tsv.size() - 1);
}

// The folders of runs that leave a TSV, on inputs of their own.
std::vector<std::string> scans() {
    std::vector<std::string> names = folder_names(QUILLON_SCAN_DATA);
    std::erase_if(names, [](const std::string& n) {
        const fs::path f = fs::path(QUILLON_SCAN_DATA) / n;
        return !fs::exists(f / "expected.tsv") || fs::exists(f / "simulate");
    });
    return names;
}

INSTANTIATE_TEST_SUITE_P(ScanData, ScanRows, ::testing::ValuesIn(scans()), test_name);

}  // namespace
}  // namespace quillon

namespace quillon::scantest {
namespace {

// Simulated X markers through the scan, both codings: the null markers' NFS p-values are
// uniform, the effect markers' mostly small; the VCF (males' calls haploid) scans as the .bed.
TEST(ScanX, NullUniformEffectsFoundVcfAsBed) {
    for (const std::string coding : {"1", "2"}) {
        SCOPED_TRACE(coding);
        TempDir dir;
        simulate(dir, {"--families", "200", "--untyped-father", "0.3", "--untyped-parents", "0.1", "--markers", "100",
                       "--x-markers", "100", "--allele-freq", "0.1,0.5", "--effect-share", "0.2", "--ncov", "1",
                       "--intercept", "--b1", "0.6", "--b2", "1.2", "--xchr-model", coding, "--male-het-errors",
                       "0.005", "--effects", "eff", "--seed", "8"});
        for (const std::string input : {"--bfile st", "--vcf st.vcf --fam st.fam"}) {
            std::vector<std::string> args = split(input + " --no-intercept --status-model additive --xchr-model " +
                                                      coding + " --threads 2 --out " + input.substr(2, 1), ' ');
            ASSERT_EQ(scan(dir, args).status, 0);
        }
        EXPECT_EQ(dir.read("b.tsv"), dir.read("v.tsv"));
        const auto rows = read_tsv(dir.read("b.tsv"));
        const auto nfs_p = std::find(rows[0].begin(), rows[0].end(), "NFS_P") - rows[0].begin();
        const std::string effects = dir.read("eff");
        std::vector<double> null_p;
        long effect = 0, found = 0;
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const double p = std::stod(rows[r][static_cast<std::size_t>(nfs_p)]);
            if (effects.find(rows[r][1] + "\n") == std::string::npos)
                null_p.push_back(p);
            else
                ++effect, found += p < 0.01;
        }
        std::sort(null_p.begin(), null_p.end());
        const double n = static_cast<double>(null_p.size());
        double ks = 0;  // Kolmogorov-Smirnov distance to the uniform
        for (std::size_t i = 0; i < null_p.size(); ++i)
            ks = std::max({ks, null_p[i] - static_cast<double>(i) / n, (static_cast<double>(i) + 1.0) / n - null_p[i]});
        EXPECT_LT(ks, 1.63 / std::sqrt(n));  // the 1% critical value
        EXPECT_GE(3 * found, 2 * effect) << found << " of " << effect;
    }
}

// Without --covariate-model and with the intercept alone, the status model's; --bfile takes a
// name ending in .bed; a multi-allelic record has its row, every ALT in A1.
TEST(ScanOptions, CovariateModelDefaultsToTheStatusModel) {
    TempDir dir;
    simulate(dir, {"--families", "30", "--markers", "4", "--seed", "2"});
    ASSERT_EQ(scan(dir, {"--bfile", "st", "--status-model", "2", "--covariate-model", "2", "--out", "given"}).status, 0);
    ASSERT_EQ(scan(dir, {"--bfile", "st.bed", "--status-model", "dominant", "--out", "default"}).status, 0);
    EXPECT_EQ(dir.read("default.tsv"), dir.read("given.tsv"));
    EXPECT_NE(dir.read("default.log").find("\nCovariate model: not given;"), std::string::npos);
    EXPECT_EQ(dir.read("given.log").find("Covariate model: not given"), std::string::npos);
    // A multi-allelic record has its row, every ALT in A1.
    std::string vcf = dir.read("st.vcf");
    auto f = split(vcf.substr(vcf.rfind('\n', vcf.size() - 2) + 1), '\t');
    vcf += f[0] + "\t" + std::to_string(std::stol(f[1]) + 1) + "\tmulti\t" + f[3] + "\t" + f[4] + ",<DEL>\t.\t.\t.\n";
    dir.write("m.vcf", vcf);
    ASSERT_EQ(scan(dir, {"--vcf", "m.vcf", "--fam", "st.fam", "--status-model", "2", "--out", "m"}).status, 0);
    EXPECT_EQ(read_tsv(dir.read("m.tsv")).back().back(), "skipped:multiallelic");
    EXPECT_EQ(read_tsv(dir.read("m.tsv")).back()[3], f[4] + ",<DEL>");
}

// Trios with covariates on their natural scales (age in years, sex, smoking): where the
// direction-set fit (--fit powell) stops more than 0.001 log-likelihood units above the
// -log-likelihood of the default Newton scan, and only there, its STATUS says
// short_of_maximum, and the log counts those rows.
TEST(ScanFit, DirectionSetShortOfNewtonsMaximumIsFlagged) {
    TempDir dir;
    simulate(dir, {"--families", "400", "--min-size", "3", "--max-size", "3", "--markers", "120", "--ncov", "3",
                   "--model", "additive", "--beta", "0.3,0.02,-0.2", "--allele-freq", "0.05,0.5", "--effect-share",
                   "0.1", "--covar", "raw.covar", "--seed", "77"});
    std::string covar = "FID IID AGE SEX SMOKING\n";
    for (const auto& f : read_tsv(dir.read("raw.covar"))) {
        const auto x = split(f[0], ' ');
        if (x[0] == "FID") continue;
        char line[96];
        std::snprintf(line, sizeof line, "%s %s %.1f %d %d\n", x[0].c_str(), x[1].c_str(), 45 + 12 * std::stod(x[2]),
                      std::stod(x[3]) > 0, std::stod(x[4]) > 0.5);
        covar += line;
    }
    dir.write("age.covar", covar);
    const std::vector<std::string> common = {"--bfile", "st", "--covar", "age.covar", "--status-model", "3",
                                             "--covariate-model", "3", "--threads", "2", "--out"};
    auto args = common;
    args.push_back("powell");
    args.insert(args.end(), {"--fit", "powell"});
    ASSERT_EQ(scan(dir, args).status, 0);
    args = common;
    args.push_back("newton");
    ASSERT_EQ(scan(dir, args).status, 0);
    const auto p = read_tsv(dir.read("powell.tsv")), n = read_tsv(dir.read("newton.tsv"));
    const auto c = static_cast<std::size_t>(std::find(p[0].begin(), p[0].end(), "NEG_LOGLIK") - p[0].begin());
    long flagged = 0;
    for (std::size_t r = 1; r < p.size(); ++r) {
        if (p[r][c] == "NA" || n[r][c] == "NA") continue;
        const double gain = std::stod(p[r][c]) - std::stod(n[r][c]);
        EXPECT_GT(gain, -1e-9) << p[r][1];
        const bool flag = p[r].back().ends_with("short_of_maximum");
        if (std::abs(gain - 1e-3) > 1e-5) {
            EXPECT_EQ(flag, gain > 1e-3) << p[r][1] << " " << gain;
        }
        EXPECT_EQ(n[r].back().find("short_of_maximum"), std::string::npos);
        flagged += flag;
    }
    EXPECT_GE(flagged, 2);
    EXPECT_NE(dir.read("powell.log").find("--fit newton reaches it): " + std::to_string(flagged) + "\n"),
              std::string::npos);
    EXPECT_EQ(dir.read("newton.log").find("short of"), std::string::npos);
}

// The columns of `names` in the TSV's rows as numbers (NA rows left out).
std::vector<std::vector<double>> numbers(const std::string& tsv, const std::vector<std::string>& names) {
    const auto rows = read_tsv(tsv);
    std::vector<std::vector<double>> out(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        const auto c = static_cast<std::size_t>(std::find(rows[0].begin(), rows[0].end(), names[k]) - rows[0].begin());
        for (std::size_t i = 1; i < rows.size(); ++i)
            if (rows[i][c] != "NA") out[k].push_back(std::stod(rows[i][c]));
    }
    return out;
}

// 20,000 null markers, an intercept and a covariate: the score-only pass's joint p-values are
// uniform (Kolmogorov-Smirnov distance below its 1% point, 1.63 / sqrt(n)) and lambda, the
// median statistic over the chi-square(2) median 2 log 2, is within 1 +- 0.05.
TEST(ScoreScan, NullPValuesAreUniform) {
    const TempDir d;
    ASSERT_EQ(test_support::run_program(QUILLON_SIMULATE_BIN, test_support::words(
        "--families 300 --min-size 3 --max-size 3 --ncov 2 --intercept --model additive --beta 0,0 --markers 20000 "
        "--allele-freq 0.1,0.5 --covar st.covar --seed 404 --bfile st"), d.path(), "").status, 0);
    ASSERT_EQ(scan(d, test_support::words("--bfile st --covar st.covar --status-model additive --covariate-model "
                                          "additive --test score --out n")).status, 0);
    auto v = numbers(d.read("n.tsv"), {"SCORE_JOINT", "SCORE_JOINT_P"});
    ASSERT_GT(v[1].size(), 19900u);
    std::sort(v[1].begin(), v[1].end());
    const auto n = static_cast<double>(v[1].size());
    double ks = 0.0;
    for (std::size_t i = 0; i < v[1].size(); ++i)
        ks = std::max({ks, v[1][i] - static_cast<double>(i) / n, static_cast<double>(i + 1) / n - v[1][i]});
    EXPECT_LT(ks, 1.63 / std::sqrt(n));
    std::nth_element(v[0].begin(), v[0].begin() + static_cast<long>(v[0].size() / 2), v[0].end());
    EXPECT_NEAR(v[0][v[0].size() / 2] / (2.0 * std::log(2.0)), 1.0, 0.05);
}

// With effects on a tenth of the markers, every marker the full Newton scan finds (WALD_P
// below 1e-5) the refitting scan (P = 1e-3) fits too, in the very row of the full scan.
TEST(ScoreScan, RefittingFindsTheFullScansEffects) {
    const TempDir d;
    ASSERT_EQ(test_support::run_program(QUILLON_SIMULATE_BIN, test_support::words(
        "--families 300 --min-size 3 --max-size 4 --ncov 2 --intercept --model additive --beta 0.3,0.5 --markers 300 "
        "--effect-share 0.1 --allele-freq 0.1,0.5 --covar st.covar --seed 405 --bfile st"), d.path(), "").status, 0);
    const std::string common = "--bfile st --covar st.covar --status-model additive --covariate-model additive "
                               "--fit newton --out ";
    ASSERT_EQ(scan(d, test_support::words(common + "full")).status, 0);
    ASSERT_EQ(scan(d, test_support::words(common + "refit --refit-p 1e-3")).status, 0);
    const auto f = read_tsv(d.read("full.tsv")), r = read_tsv(d.read("refit.tsv"));
    ASSERT_EQ(f.size(), r.size());
    const auto wald_p = static_cast<std::size_t>(std::find(f[0].begin(), f[0].end(), "WALD_P") - f[0].begin());
    long found = 0, score_only = 0;
    for (std::size_t i = 1; i < f.size(); ++i) {
        score_only += r[i].back() == "ok:score_only";
        if (f[i][wald_p] == "NA" || std::stod(f[i][wald_p]) >= 1e-5) continue;
        ++found;
        EXPECT_TRUE(std::equal(f[i].begin(), f[i].end() - 1, r[i].begin())) << f[i][1];
    }
    EXPECT_GE(found, 10);
    EXPECT_GT(score_only, 200);
}


}  // namespace
}  // namespace quillon
