// PLINK 1.9 as the reference of the per-marker quality control (label external: runs plink1.9),
// on a simulated study with untyped parents, missing calls, Mendel and genotype errors, X
// markers and children of unknown sex, whole and through a keep list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>

#include "formats/genotypes.hpp"
#include "qc/marker_qc.hpp"
#include "qc/person_list.hpp"
#include "support/program.hpp"

namespace quillon {
namespace {

using Fields = std::vector<std::string>;

// The lines of a text as fields.
std::vector<Fields> lines(const std::string& text) {
    std::vector<Fields> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        out.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
    }
    return out;
}

TEST(QcPlink, StatisticsAndFiltersAsPlink) {
    if (std::string(PLINK_BIN).empty()) GTEST_SKIP() << "plink1.9 not installed";
    test_support::TempDir d;
    const auto run = [&](const std::string& exe, const Fields& args) {
        const auto r = test_support::run_program(exe, args, d.path(), "", 300);
        ASSERT_EQ(r.status, 0) << exe << ":\n" << r.out << r.err;
    };
    run(QUILLON_SIMULATE_BIN, lines("--families 200 --untyped-father 0.25 --untyped-parents 0.15 --markers 90 "
                                    "--missing-phenotype 0.1 --x-markers 30 --allele-freq 0.02,0.5 --untyped-children "
                                    "0.05 --genotype-errors 0.02 --unaffected-children 0.2 --father-only 0.4 --seed 17 "
                                    "--bfile s")[0]);
    // Every 5th person, if a child, of unknown sex; the keep list leaves out every 7th and names two strangers.
    std::string fam, keep = "x y\nz w\n";
    long n = 0;
    for (const Fields& f : lines(d.read("s.fam"))) {
        const std::string sex = f[2] != "0" && n % 5 == 0 ? "0" : f[4];
        fam += f[0] + " " + f[1] + " " + f[2] + " " + f[3] + " " + sex + " " + f[5] + "\n";
        if (n++ % 7 != 3) keep += f[0] + " " + f[1] + "\n";
    }
    d.write("s.fam", fam);
    d.write("keep.txt", keep);

    for (const Fields& keep_args : {Fields{}, Fields{"--keep", "keep.txt"}}) {
        const auto people = read_fam(d.file("s.fam"));
        std::vector<std::string> log;
        const QcPeople q = qc_people(people, keep_mask(people, keep_args.empty() ? "" : d.file("keep.txt"), "", log));
        const long kept = static_cast<long>(q.kept_people.size());
        std::vector<MarkerQc> ours;
        Marker m;
        for (const auto bed = open_bed(d.file("s"), people); bed->next(m);)
            ours.push_back(marker_qc(q, m.genotype, chromosome_class(m.info.chr)));
        const auto plink = [&](Fields args, const std::string& bfile = "s") {
            args.insert(args.begin(), {"--bfile", bfile, "--keep-allele-order", "--out", "p"});
            args.insert(args.end(), keep_args.begin(), keep_args.end());
            run(PLINK_BIN, args);
        };
        plink({"--freq", "--hardy", "--mendel"});
        // PLINK counts a heterozygous male's transmissions on X unless his call is removed first.
        run(PLINK_BIN, lines("--bfile s --keep-allele-order --set-hh-missing --make-bed --out hh")[0]);
        plink({"--tdt"}, "hh");
        Fields scan = {"scan", "--bfile", "s", "--no-intercept", "--status-model", "additive", "--quiet", "--out", "q"};
        scan.insert(scan.end(), keep_args.begin(), keep_args.end());
        run(QUILLON_BIN, scan);
        const auto rows = lines(d.read("q.tsv"));  // A1_FREQ T U are columns 9-11, as PLINK counts
        ASSERT_EQ(rows.size(), ours.size() + 1);
        const auto frq = lines(d.read("p.frq")), hwe = lines(d.read("p.hwe")), tdt = lines(d.read("p.tdt")),
                   me = lines(d.read("p.lmendel"));
        // A value and the 4 significant digits PLINK printed for it: within half a unit of the last.
        const auto printed = [](double x, const std::string& text) {
            return std::fabs(x - std::stod(text)) <= 0.5000001 * std::pow(10.0, std::floor(std::log10(x)) - 3);
        };
        ASSERT_EQ(frq.size(), ours.size() + 1);
        for (std::size_t i = 0; i < ours.size(); ++i) {  // .hwe: rows ALL, AFF, UNAFF per marker
            const MarkerQc& o = ours[i];
            const std::string& id = frq[i + 1][1];
            const std::string g =
                std::to_string(o.hwe.hom_a1) + "/" + std::to_string(o.hwe.het) + "/" + std::to_string(o.hwe.hom_a2);
            EXPECT_EQ(Fields({frq[i + 1][5], hwe[3 * i + 1][5], tdt[i + 1][5], tdt[i + 1][6], me[i + 1][2]}),
                      Fields({std::to_string(o.alleles.a1 + o.alleles.a2), g, std::to_string(o.tdt.t),
                              std::to_string(o.tdt.u), std::to_string(o.mendel.errors)})) << id;
            EXPECT_TRUE(std::isnan(o.a1_freq) || printed(o.a1_freq, frq[i + 1][4])) << id << " " << frq[i + 1][4];
            EXPECT_EQ(Fields(rows[i + 1].begin() + 8, rows[i + 1].begin() + 11),
                      Fields({rows[i + 1][8] == "NA" ? "NA" : frq[i + 1][4] == "NA" ? "?" : rows[i + 1][8],
                              tdt[i + 1][5], tdt[i + 1][6]})) << id;
            EXPECT_TRUE(rows[i + 1][8] == "NA" || printed(std::stod(rows[i + 1][8]), frq[i + 1][4])) << id;
            EXPECT_TRUE(printed(o.hwe_p, hwe[3 * i + 1][8])) << id << " " << hwe[3 * i + 1][8];
        }
        // Each filter at thresholds equal to two markers' own values (PLINK keeps a marker at the
        // threshold) and a relative 1e-12 past them (it goes).
        const std::vector<Fields> flags = {{"--geno", "T", "--write-snplist"},
                                           {"--hwe", "T", "include-nonctrl", "--write-snplist"},
                                           {"--maf", "T", "--write-snplist"},
                                           {"--me", "1", "T", "--write-snplist"}};
        const double past[] = {1 - 1e-12, 1 + 1e-12, 1 + 1e-12, 1 - 1e-12};
        for (std::size_t f = 0; f < flags.size(); ++f) {
            std::vector<double> values;
            for (const MarkerQc& o : ours)
                values.push_back(f == 0   ? double(o.missing) / double(kept)
                                 : f == 1 ? o.hwe_p
                                 : f == 2 ? o.maf
                                          : double(o.mendel.errors) / double(o.mendel.trios));
            std::sort(values.begin(), values.end());
            for (const double at : {values[values.size() / 3], values[2 * values.size() / 3]})
                for (const double t : {at, at * past[f]}) {
                    QcFilters filters;
                    (f == 0 ? filters.geno : f == 1 ? filters.hwe : f == 2 ? filters.maf : filters.mendel) = t;
                    char text[32];
                    std::snprintf(text, sizeof text, "%.17g", t);
                    Fields args = flags[f];
                    std::replace(args.begin(), args.end(), std::string("T"), std::string(text));
                    std::filesystem::remove(d.file("p.snplist"));
                    plink(args);
                    std::set<std::string> theirs, expected;
                    for (const Fields& id : lines(d.read("p.snplist"))) theirs.insert(id[0]);
                    for (std::size_t i = 0; i < ours.size(); ++i)
                        if (qc_verdict(ours[i], kept, filters) == QcVerdict::kKept) expected.insert(frq[i + 1][1]);
                    EXPECT_EQ(theirs, expected) << args[0] << " " << text << " " << keep_args.size();
                    if (t != at) continue;  // the scan's rows: skipped exactly where PLINK drops the marker
                    Fields scan = {"scan", "--bfile", "s", "--no-intercept", "--status-model", "additive", "--quiet",
                                   "--out", "q", args[0], args[0] == "--me" ? text : args[1]};
                    scan.insert(scan.end(), keep_args.begin(), keep_args.end());
                    run(QUILLON_BIN, scan);
                    std::set<std::string> scanned;
                    for (const Fields& row : lines(d.read("q.tsv")))
                        if (!row.back().starts_with("skipped:") || row.back() == "skipped:non_autosomal" ||
                            row.back() == "skipped:no_families" || row.back() == "skipped:monomorphic")
                            scanned.insert(row[1]);
                    scanned.erase("SNP");
                    EXPECT_EQ(scanned, theirs) << args[0] << " " << text;
                }
        }
    }
}

}  // namespace
}  // namespace quillon
