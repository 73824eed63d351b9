// quillon scan end to end: every row against the single run on that marker's families,
// thread counts, chunks, formats and marker subsets giving the same rows, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "input/pedigree_input.hpp"
#include "model/analysis.hpp"
#include "method/tail_probabilities.hpp"
#include "scan/scan_support.hpp"

namespace quillon::scantest {
namespace {

// A TSV field holds exactly x (NA for a NaN).
void expect_same(double x, const std::string& field, const std::string& what) {
    if (std::isnan(x))
        EXPECT_EQ(field, "NA") << what;
    else
        EXPECT_EQ(x, number(field)) << what << " field " << field;
}

std::string printed(const char* format, double a, double b = 0) {
    char buf[200];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

// The rows without the columns of the tests built on the fit (p-values of the coefficients,
// -log10 p, covariances, GXE_, LRT_, MARG_).
std::vector<std::vector<std::string>> fit_columns(std::vector<std::vector<std::string>> rows) {
    std::vector<bool> keep;
    for (const std::string& h : rows[0])
        keep.push_back(!(h == "A1_FREQ" || h == "T" || h == "U" || h.ends_with("_LOG10P") || (h.ends_with("_P") && h != "WALD_P" && h != "NFS_P") ||
                         h.starts_with("COV_") || h.starts_with("GXE_") || h.starts_with("LRT_") || h.starts_with("MARG_")));
    for (auto& row : rows) {
        std::vector<std::string> kept;
        for (std::size_t c = 0; c < row.size(); ++c)
            if (c >= keep.size() || keep[c]) kept.push_back(row[c]);
        row = std::move(kept);
    }
    return rows;
}

// The report lines the single run prints for the row's numbers (row fields from PREV0 on).
std::vector<std::string> report_lines(const std::vector<std::string>& f, long npars) {
    std::vector<std::string> lines = {
        printed("Prevalence of genotype 0: %6.4lf\n", number(f[8])),
        printed("Prevalence of genotype 1: %6.4lf (%7.5lf)\n", number(f[9]), number(f[10])),
        printed("Prevalence of genotype 2: %6.4lf (%7.5lf)\n", number(f[11]), number(f[12]))};
    std::size_t c = 13;
    for (long i = 1; i <= npars - 2; ++i, c += 2)
        lines.push_back("par-" + std::to_string(i) + printed("  %10.5lf (%lf)\n", number(f[c]), number(f[c + 1])));
    lines.push_back(npars > 2 ? printed("maximizedLogLike=%.4lf  WaldStatNus=%.4lf", number(f[c]), number(f[c + 1])) +
                                    "  df=" + f[c + 2] + "\n"
                              : printed("maximizedLogLike=%.4f\n", number(f[c])));
    lines.push_back(f[c + 4] == "NA" ? std::string("Non-Founders Statistic=NA  NFSdenominator=NA\n")
                                     : printed("Non-Founders Statistic=%.4lf  NFSdenominator=%.5lf\n",
                                               number(f[c + 4]), number(f[c + 5])));
    return lines;
}

// Kinds of family the studies must hold, so that the comparison is not vacuous.
struct Coverage {
    long placeholder = 0, untyped_father = 0, both_untyped = 0, father_only = 0, untyped_children = 0, mendel = 0,
         missing_phenotype = 0, analysed = 0, single_runs = 0, failed = 0;
};

void count(Coverage& cov, const Study& study, const MarkerFamilies& mf, const std::vector<std::int8_t>& g) {
    cov.mendel += static_cast<long>(mf.mendel.size());
    for (std::size_t k = 0; k < mf.kept.size(); ++k) {
        const std::vector<long>& m = mf.members[k];
        const NuclearFamily& nf = study.families[static_cast<std::size_t>(mf.kept[k])];
        const auto typed = [&](long p) { return p >= 0 && g[static_cast<std::size_t>(p)] >= 0; };
        cov.placeholder += m[0] < 0 || m[1] < 0;
        cov.untyped_father += !typed(m[0]) && typed(m[1]);
        cov.both_untyped += !typed(m[0]) && !typed(m[1]);
        cov.father_only += nf.father >= 0 && m[1] == nf.father;
        cov.untyped_children += m.size() - 2 < nf.children.size();
        for (const long p : m) cov.missing_phenotype += p >= 0 && study.people[static_cast<std::size_t>(p)].phenotype == 0;
    }
}

// For every status x covariate model, a study with every kind of family; each marker's row
// must hold the doubles the single run's reader and analysis give on its three files, and
// the single run's report must print them.
TEST(ScanRows, AreTheSingleRunOnEachMarkersFamilies) {
    Coverage cov;
    for (int smodel = 1; smodel <= 3; ++smodel) {
        for (int cmodel = 0; cmodel <= 3; ++cmodel) {
            SCOPED_TRACE("status model " + std::to_string(smodel) + ", covariate model " + std::to_string(cmodel));
            const int columns = smodel == 1 && cmodel == 0 ? 0 : 1 + (smodel + cmodel) % 2;
            const bool all_children = smodel == 2;
            TempDir dir;
            std::vector<std::string> sim = {
                "--families", "40", "--max-size", "6", "--untyped-father", "0.2", "--untyped-parents", "0.15",
                "--missing-phenotype", "0.1", "--markers", "10", "--allele-freq", "0.1,0.5", "--untyped-children",
                "0.1", "--genotype-errors", "0.02", "--unaffected-children", "0.2", "--father-only", "0.15",
                "--x-markers", "1", "--weights", "random", "--effect-share", "0.3", "--seed",
                std::to_string(100 * smodel + cmodel)};
            std::vector<std::string> args = {"--bfile", "st", "--weights", "st.w", "--status-model",
                                             std::to_string(smodel), "--covariate-model", std::to_string(cmodel)};
            if (columns > 0) {
                sim.insert(sim.end(), {"--ncov", std::to_string(columns), "--model", "additive", "--beta",
                                       columns == 1 ? "0.4" : "0.4,-0.3", "--covar", "st.covar"});
                args.insert(args.end(), {"--covar", "st.covar"});
            } else {
                args.push_back("--no-intercept");
            }
            if (all_children) args.push_back("--all-children");
            simulate(dir, sim);
            const RunResult r = scan(dir, args);
            ASSERT_EQ(r.status, 0) << r.err;
            // The fit's own columns; the tests built on them are checked in tests/method.
            const auto tsv = fit_columns(read_tsv(dir.read("quillon.tsv")));

            const StudyOptions so{.intercept = columns > 0, .covar_names = {}, .all_children = all_children};
            const Study study =
                form_study(dir.file("st.fam"), columns > 0 ? dir.file("st.covar") : "", dir.file("st.w"), so);
            Settings s{.ncov = study.ncov(), .smodeltype = smodel, .cmodeltype = cmodel};
            derive_model_codings(s);
            const auto reader = open_bed(dir.file("st"), study.people);
            ASSERT_EQ(static_cast<long>(tsv.size()), reader->marker_count() + 1);
            Marker m;
            MarkerFamilies mf;
            for (std::size_t row = 1; reader->next(m); ++row) {
                const std::vector<std::string>& f = tsv[row];
                SCOPED_TRACE("marker " + m.info.id);
                ASSERT_EQ(f.size(), tsv[0].size());
                EXPECT_EQ(f[1], m.info.id);
                if (!m.info.autosomal) {
                    EXPECT_EQ(f.back(), "skipped:non_autosomal");
                    continue;
                }
                build_marker_families(study, m.genotype, mf);
                count(cov, study, mf, m.genotype);
                EXPECT_EQ(f[5], std::to_string(mf.kept.size()));
                EXPECT_EQ(f[6], std::to_string(mf.children));
                EXPECT_EQ(f[7], std::to_string(mf.mendel.size()));
                if (mf.kept.empty() || mf.monomorphic) {
                    EXPECT_EQ(f.back(), mf.kept.empty() ? "skipped:no_families" : "skipped:monomorphic");
                    continue;
                }
                const TempDir single;
                write_single_run_files(single, study, mf, m.genotype);
                FamilyTable fams = read_families(s, single.path(), test_support::TempFile().get());
                Analysis a;
                try {
                    a = analyse(s, fams, build_genotype_table(largest_family(fams)));
                } catch (const NumericalError& e) {
                    ++cov.failed;
                    EXPECT_EQ(f.back(), std::string("failed:") + e.what());
                    for (std::size_t c = 8; c + 1 < f.size(); ++c) EXPECT_EQ(f[c], "NA");
                    continue;
                }
                ++cov.analysed;
                const long np = s.npars;
                std::vector<double> expected = {a.fit.gammma[0], a.fit.gammma[1], std::sqrt(a.info.subJI[np - 1][np - 1]),
                                                a.fit.gammma[2], std::sqrt(a.info.subJI[np][np])};
                for (long i = 1; i <= np - 2; ++i) expected.insert(expected.end(), {a.fit.ogpars[i], std::sqrt(a.info.subJI[i][i])});
                const double na = std::nan("");
                const bool wald = np > 2;
                expected.insert(expected.end(), {a.fit.fret, wald ? a.info.waldstat : na, wald ? a.info.wsdf : na,
                                                 wald ? chisq_upper_tail(a.info.waldstat, a.info.wsdf) : na});
                const NonFoundersStatistic& nfs = a.nfs;
                expected.insert(expected.end(), {nfs.defined ? nfs.statistic : na, nfs.defined ? nfs.denominator : na,
                                                 nfs.defined ? normal_two_sided(nfs.statistic) : na});
                ASSERT_EQ(expected.size() + 9, f.size());
                for (std::size_t c = 0; c < expected.size(); ++c) expect_same(expected[c], f[8 + c], tsv[0][8 + c]);
                const std::string status = a.info.near_singular ? (nfs.defined ? "warning:near_singular"
                                                                                : "warning:near_singular,nfs_undefined")
                                           : nfs.defined ? "ok" : "warning:nfs_undefined";
                // A likelihood ratio whose Newton maximum is not reached adds its own word.
                std::string got = f.back();
                for (const std::string w : {",nested_fit_failed", "warning:nested_fit_failed"})
                    if (got.ends_with(w)) got = got.substr(0, got.size() - w.size());
                EXPECT_EQ(got.empty() ? "ok" : got, status);

                // The program itself, on the first two analysed markers of each study.
                if (cov.analysed % 5 != 1) continue;
                ++cov.single_runs;
                const RunResult one = test_support::run_program(
                    QUILLON_BIN,
                    {"--covariates", std::to_string(s.ncov), "--status-model", std::to_string(smodel),
                     "--covariate-model", std::to_string(cmodel), "--dir", single.path()},
                    single.path(), "");
                ASSERT_EQ(one.status, 0) << one.out;
                EXPECT_NE(one.out.find("Number of Families: " + f[5] + "\n"), std::string::npos);
                for (const std::string& line : report_lines(f, np))
                    EXPECT_NE(one.out.find(line), std::string::npos) << line << "not in\n" << one.out;
            }
        }
    }
    EXPECT_GT(cov.analysed, 80);
    EXPECT_GT(cov.single_runs, 12);
    EXPECT_GT(cov.failed, 0);  // the minimiser's iteration limit, met by a few markers
    for (const long n : {cov.placeholder, cov.untyped_father, cov.both_untyped, cov.father_only, cov.untyped_children,
                         cov.mendel, cov.missing_phenotype})
        EXPECT_GT(n, 0);
}

std::string lines_where(const std::string& tsv, const std::function<bool(const std::vector<std::string>&)>& keep) {
    std::string out;
    std::stringstream in(tsv);
    for (std::string line; std::getline(in, line);)
        if (out.empty() || keep(split(line, '\t'))) out += line + "\n";
    return out;
}

// Threads, chunks, the VCF of the same study and the marker subsets give the same rows.
TEST(ScanRows, DoNotDependOnThreadsChunksFormatOrSubset) {
    TempDir dir;
    simulate(dir, {"--families", "60", "--markers", "30", "--chromosomes", "2", "--x-markers", "2", "--ncov", "1",
                   "--untyped-parents", "0.2", "--genotype-errors", "0.02", "--allele-freq", "0.05,0.5", "--covar",
                   "st.covar", "--weights", "random", "--seed", "5"});
    const std::vector<std::string> common = {"--covar", "st.covar", "--weights", "st.w", "--status-model", "additive",
                                             "--covariate-model", "none"};
    const auto run = [&](const std::string& out, std::vector<std::string> extra) {
        extra.insert(extra.end(), common.begin(), common.end());
        extra.insert(extra.end(), {"--out", out});
        const RunResult r = scan(dir, extra);
        EXPECT_EQ(r.status, 0) << r.err;
        return std::pair{dir.read(out + ".tsv"), dir.read(out + ".mendel")};
    };
    const auto whole = run("one", {"--bfile", "st", "--threads", "1"});
    EXPECT_EQ(run("four", {"--bfile", "st", "--threads", "4"}), whole);
    EXPECT_EQ(run("vcf", {"--vcf", "st.vcf", "--fam", "st.fam", "--threads", "3"}), whole);
    std::string tsv, mendel;
    for (int k = 1; k <= 3; ++k) {
        const auto part = run("chunk" + std::to_string(k), {"--bfile", "st", "--chunk", std::to_string(k) + "/3"});
        tsv += k == 1 ? part.first : part.first.substr(part.first.find('\n') + 1);
        mendel += k == 1 ? part.second : part.second.substr(part.second.find('\n') + 1);
    }
    EXPECT_EQ(tsv, whole.first);
    EXPECT_EQ(mendel, whole.second);
    EXPECT_NE(whole.second.find('\n'), whole.second.size() - 1) << "no Mendel error listed";

    const auto rows = read_tsv(whole.first);
    const std::string from = rows[18][2], to = rows[22][2];  // chromosome 2 holds markers 16..30
    EXPECT_EQ(run("range", {"--bfile", "st", "--chr", "chr2", "--from-bp", from, "--to-bp", to}).first,
              lines_where(whole.first, [&](const auto& f) {
                  return f[0] == "2" && std::stol(f[2]) >= std::stol(from) && std::stol(f[2]) <= std::stol(to);
              }));
    dir.write("ids", rows[3][1] + "\n" + rows[29][1] + " nosuch\n");
    EXPECT_EQ(run("ids", {"--bfile", "st", "--extract", "ids", "--chr", "1-2"}).first,
              lines_where(whole.first, [&](const auto& f) { return f[1] == rows[3][1]; }));  // rows[29] is on X
}

// --fit newton: rows independent of the thread count, a maximum never below the direction-set
// fit's, and a constant covariate beside the intercept falls back to that fit and says so.
TEST(ScanNewton, ReachesAtLeastTheDirectionSetMaximumOrFallsBack) {
    TempDir dir;
    simulate(dir, {"--families", "80", "--markers", "12", "--ncov", "1", "--untyped-parents", "0.2", "--allele-freq",
                   "0.1,0.5", "--covar", "st.covar", "--seed", "8"});
    const auto run = [&](const std::string& out, const std::string& covar, std::vector<std::string> extra) {
        extra.insert(extra.end(), {"--bfile", "st", "--covar", covar, "--status-model", "additive",
                                   "--covariate-model", "additive", "--out", out});
        const RunResult r = scan(dir, extra);
        EXPECT_EQ(r.status, 0) << r.err;
        return read_tsv(dir.read(out + ".tsv"));
    };
    const auto newton = run("n1", "st.covar", {"--fit", "newton", "--threads", "1"});
    EXPECT_EQ(run("n3", "st.covar", {"--fit", "NEWTON", "--threads", "3"}), newton);
    const auto powell = run("p", "st.covar", {});
    const auto col = std::find(newton[0].begin(), newton[0].end(), "NEG_LOGLIK") - newton[0].begin();
    int compared = 0;
    for (std::size_t i = 1; i < newton.size(); ++i) {
        if (powell[i].back().rfind("skipped", 0) == 0) continue;
        EXPECT_EQ(newton[i].back().find("fallback"), std::string::npos) << newton[i][1];
        EXPECT_LE(number(newton[i][col]), number(powell[i][col]) * (1 + 1e-9)) << newton[i][1];
        ++compared;
    }
    EXPECT_GT(compared, 6);

    std::string constant = "FID IID C\n";
    std::stringstream fam(dir.read("st.fam"));
    for (std::string fid, iid, rest; fam >> fid >> iid && std::getline(fam, rest);) constant += fid + " " + iid + " 1\n";
    dir.write("const.covar", constant);
    const auto flat = run("c", "const.covar", {"--fit", "newton", "--allow-collinear"});
    EXPECT_EQ(flat[1].back().rfind("warning:fallback_powell,near_singular", 0), 0u) << flat[1].back();
    // The log lists each fallback with Newton's reason, and only when there is one.
    EXPECT_NE(dir.read("c.log").find("\nFell back to the direction-set fit: " + flat[1][1] + ": singular matrix\n"),
              std::string::npos) << dir.read("c.log");
    EXPECT_EQ(dir.read("n1.log").find("Fell back"), std::string::npos);
}

// Without covariates besides the intercept the covariate model is the status model's, and
// the fileset may be named by its .bed.
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

// Bad input: a message naming the file, exit status 1 and no output left; usage errors: 2.
TEST(ScanErrors, NameTheFileAndLeaveNoResult) {
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> spoil;
        std::vector<std::string> args;
        const char* names;
    };
    const std::vector<std::string> bed = {"--bfile", "st", "--covar", "st.covar", "--weights", "st.w"};
    // The readers' messages are tested with the readers; here an error met in the marker loop,
    // once the outputs are begun, and one of the scan's own.
    const std::vector<Case> cases = {
        {"truncated bim", [](const TempDir& d) { d.write("st.bim", d.read("st.bim").substr(0, d.read("st.bim").size() - 9)); }, bed, "st.bim"},
        {"extract", [](const TempDir&) {}, {"--bfile", "st", "--extract", "nosuch.txt"}, "nosuch.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        simulate(dir, {"--families", "8", "--markers", "3", "--ncov", "1", "--covar", "st.covar", "--seed", "3"});
        c.spoil(dir);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--status-model", "2", "--covariate-model", "additive", "--out", "out"});
        const RunResult r = scan(dir, args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
        for (const auto& f : std::filesystem::directory_iterator(dir.path()))
            EXPECT_FALSE(f.path().filename().string().starts_with("out.")) << f.path();
    }
    const std::vector<std::vector<std::string>> usage = {
        {"--bfile", "st"},
        {"--bfile", "st", "--vcf", "v", "--status-model", "1", "--covariate-model", "0"},
        {"--bfile", "st", "--status-model", "4", "--covariate-model", "0"},
        {"--bfile", "st", "--status-model", "1", "--covariate-model", "0", "--chunk", "4/3"},
        {"--bfile", "st", "--status-model", "1", "--covariate-model", "0", "--threads", "0"},
        {"--bfile", "st", "--status-model", "1", "--no-intercept", "--covariate-model", "additive"},
        {"--bfile", "st", "--status-model", "1", "--covariate-model", "0", "--from-bp", "5"},
        {"--bfile", "st", "--status-model", "1", "--covariate-model", "0", "--frobnicate"}};
    TempDir dir;
    for (const auto& args : usage) {
        const RunResult r = scan(dir, args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.err.rfind("quillon scan: ", 0), 0u) << r.err;
    }
}

}  // namespace
}  // namespace quillon::scantest
