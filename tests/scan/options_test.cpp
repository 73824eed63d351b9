// The scan's command line (each refusal, each default) and the chunks of a selection at their
// edges.

#include "scan/options.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "scan/selection.hpp"
#include "support/program.hpp"

namespace quillon {
namespace {

// The words of `line` after "scan"; '' is an empty word.
ScanParse parse(const std::string& line) {
    std::vector<std::string> args = test_support::words("scan " + line);
    std::vector<char*> argv;
    for (std::string& w : args) argv.push_back(w == "''" ? w.erase().data() : w.data());
    return parse_scan_options(static_cast<int>(argv.size()), argv.data());
}

const std::string kBase = "--bfile st --status-model 1 --covariate-model 0 ";

TEST(ScanOptions, EachRefusalHasItsMessage) {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path() / "options_refused.txt");
    int cases = 0;
    for (std::string line; std::getline(in, line);) {
        const std::size_t bar = line.find(" | ");
        if (line.starts_with("#") || bar == std::string::npos) continue;
        const std::string args = line.substr(0, bar), message = line.substr(bar + 3);
        const ScanParse p = parse(args);
        if (message == "*")
            EXPECT_TRUE(p.error.starts_with("quillon scan: ") && p.error.ends_with("(see quillon scan --help)"))
                << args << ": " << p.error;
        else
            EXPECT_EQ(p.error, "quillon scan: " + message) << args;
        ++cases;
    }
    EXPECT_GE(cases, 35);
}

// Every option's value in one line, in the order of ScanOptions; "error: ..." on a refusal.
std::string accepted(const std::string& args) {
    const ScanParse p = parse(args);
    const ScanOptions& o = p.options;
    std::string text = o.bfile + "|" + o.vcf + "|" + o.fam + "|" + o.covar + "|";
    for (const std::string& name : o.covar_names) text += name + ",";
    text += "|" + std::to_string(o.intercept) + "|" + o.weights + "|" + std::to_string(o.settings.smodeltype) +
            std::to_string(o.settings.cmodeltype) + "|" + std::to_string(o.all_children) + "|" +
            (o.settings.fit == FitMethod::kNewton ? "newton" : "powell") + "|" + std::to_string(o.threads) + "|" +
            std::to_string(o.chunk) + "/" + std::to_string(o.chunks) + "|";
    for (const std::string& code : o.chr) text += code + ",";
    text += "|" + (o.from_bp ? std::to_string(*o.from_bp) : "-") + "|" + (o.to_bp ? std::to_string(*o.to_bp) : "-") +
            "|" + o.extract + "|" + o.out + "|" + std::to_string(o.quiet) + std::to_string(o.help);
    return p.ok() ? text : "error: " + p.error;
}

TEST(ScanOptions, DefaultsAndAcceptedForms) {
    const std::string cores = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_EQ(accepted(kBase), "st|||||1||10|0|newton|" + cores + "|1/1||-|-||quillon|00");
    // Without covariate columns the covariate model may be left out.
    EXPECT_EQ(accepted("--vcf v --fam f --no-intercept --status-model Additive --fit POWELL --chunk 1000000/1000000 "
                       "--chr chr2-03,x,MT,22 --all-children --quiet --threads 4096 --extract e --out o"),
              "|v|f|||0||30|1|powell|4096|1000000/1000000|2,3,23,26,22,|-|-|e|o|10");
    EXPECT_EQ(accepted("--bfile st --covar c --covar-name b,a --no-intercept --weights w --status-model 2 "
                       "--covariate-model none --chr X --from-bp 7 --to-bp 7"),
              "st|||c|b,a,|0|w|20|0|newton|" + cores + "|1/1|23,|7|7||quillon|00");
    EXPECT_EQ(accepted("--chunk 9/3 --help"), "|||||1||-10|0|newton|" + cores + "|1/1||-|-||quillon|01");  // help first
    EXPECT_TRUE(parse("-h").options.help);
}

// Block k of n: positions [floor((k-1)M/n), floor(kM/n)) of the M selected markers, cut out
// of the runs; the counts of the whole selection are kept.
TEST(ChunkOf, BlocksAtTheirEdges) {
    using Runs = std::vector<std::pair<long, long>>;
    const struct {
        Runs all;
        long k, n;
        Runs part;
    } cases[] = {
        {{{0, 1}}, 1, 1, {{0, 1}}},                                           // one marker
        {{{0, 1}}, 1, 3, {}},                                                 // more chunks than markers
        {{{0, 1}}, 3, 3, {{0, 1}}},                                           // K = N holds the last one
        {{{4, 6}}, 1, 5, {}},
        {{{4, 6}}, 3, 5, {{4, 5}}},
        {{{4, 6}}, 4, 5, {}},
        {{{4, 6}}, 5, 5, {{5, 6}}},
        {{{2, 5}, {7, 8}, {10, 14}}, 1, 3, {{2, 4}}},                         // 8 markers: 0, 2, 5, 8
        {{{2, 5}, {7, 8}, {10, 14}}, 2, 3, {{4, 5}, {7, 8}, {10, 11}}},
        {{{2, 5}, {7, 8}, {10, 14}}, 3, 3, {{11, 14}}},
        {{{2, 5}, {7, 8}, {10, 14}}, 8, 8, {{13, 14}}},
        {{}, 1, 2, {}},                                                       // nothing selected
        // 10^13 + 7 markers in 10^6 chunks: k M overflows a long, the block bounds may not
        {{{0, 10'000'000'000'007}}, 1'000'000, 1'000'000, {{9'999'990'000'006, 10'000'000'000'007}}},
        {{{0, 10'000'000'000'007}}, 1, 1'000'000, {{0, 10'000'000}}},
    };
    for (const auto& c : cases) {
        Selection all;
        all.runs = c.all;
        all.file_markers = 99;
        all.filtered = 98;
        const Selection part = chunk_of(all, c.k, c.n);
        EXPECT_EQ(part.runs, c.part) << c.k << "/" << c.n << " of " << all.total();
        EXPECT_EQ(part.file_markers * 100 + part.filtered, 9998);
    }
}

}  // namespace
}  // namespace quillon
