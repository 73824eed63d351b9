#include "input/cli.hpp"
#include "report/pvalues.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "quillon_version.hpp"

namespace quillon {
namespace {

// Parses "quillon" followed by `args`, as main() would receive them.
CliParse parse(std::vector<std::string> args) {
    args.insert(args.begin(), "quillon");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return parse_command_line(static_cast<int>(args.size()), argv.data());
}

TEST(ParseCommandLine, EachOptionAloneInBothFormsAndAllTogether) {
    const CliOptions none = parse({}).options;  // every question left to the dialogue
    EXPECT_TRUE(!none.ncov && !none.smodeltype && !none.cmodeltype && !none.pvalues && !none.help && !none.version);
    EXPECT_EQ(none.dir, ".");
    EXPECT_EQ(parse({"--covariates", "0"}).options.ncov, 0L);
    EXPECT_EQ(parse({"--covariates=007"}).options.ncov, 7L);
    EXPECT_EQ(parse({"--covariates", "1073741822"}).options.ncov, kMaxCliCovariates);
    const char* names[] = {"None", "reCessive", "Dominant", "ADDITIVE"};
    for (int type = 0; type <= 3; ++type) {
        EXPECT_EQ(parse({"--covariate-model", names[type]}).options.cmodeltype, type);
        EXPECT_EQ(parse({"--covariate-model=" + std::to_string(type)}).options.cmodeltype, type);
        if (type == 0) continue;
        EXPECT_EQ(parse({"--status-model=" + std::string(names[type])}).options.smodeltype, type);
        EXPECT_EQ(parse({"--status-model", std::to_string(type)}).options.smodeltype, type);
    }
    EXPECT_EQ(parse({"--dir=/tmp/x=y"}).options.dir, "/tmp/x=y");  // only the first '=' splits
    EXPECT_EQ(parse({"--dir", "-odd"}).options.dir, "-odd");
    EXPECT_TRUE(parse({"--covariates", "0", "--covariate-model", "none"}).ok());
    EXPECT_TRUE(parse({"--covariate-model", "additive"}).ok());  // covariates left to the dialogue

    const CliParse r = parse({"--pvalues", "--covariates=2", "--dir", "fam7", "--status-model", "additive",
                              "--covariate-model=1", "--version", "--help"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(r.options.ncov == 2L && r.options.smodeltype == 3 && r.options.cmodeltype == 1);
    EXPECT_TRUE(r.options.dir == "fam7" && r.options.pvalues && r.options.help && r.options.version);
}

TEST(ParseCommandLine, UsageErrorsNameTheirCauseOnOneShortLine) {
    const std::string cov = " is not a whole number from 0 to 1073741822";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--covariates"}, "option --covariates needs a value"},
        {{"--covariates", "--pvalues"}, "option --covariates needs a value"},
        {{"--dir="}, "option --dir needs a value"},
        {{"--covariates", "3x"}, "--covariates: '3x'" + cov},
        {{"--covariates", "1073741823"}, "--covariates: '1073741823'" + cov},
        {{"--status-model", "none"}, "--status-model: 'none' is not recessive, dominant, additive, 1, 2 or 3"},
        {{"--covariate-model", "4"}, "--covariate-model: '4' is not none, recessive, dominant, additive, 0, 1, 2 or 3"},
        {{"--pvalues=yes"}, "option --pvalues takes no value"},
        {{"--cov", "2"}, "unknown option '--cov' (see quillon --help)"},
        {{"--pvalues", "data"}, "unexpected argument 'data' (see quillon --help)"},
        {{"--dir", "a", "--dir", "a"}, "option --dir given more than once"},
        {{"--covariate-model=1", "--covariates=0"},
         "--covariate-model recessive needs covariates, but --covariates is 0 (use none)"},
        {{"--help", "--covariates", "-2"}, "--covariates: '-2'" + cov},  // an error outweighs --help
        {{"bad\narg\t"}, "unexpected argument 'bad?arg?' (see quillon --help)"},
        {{"--covariates", std::string(500, '7')}, "--covariates: '" + std::string(60, '7') + "...'" + cov},
    };
    for (const auto& [args, message] : cases) {
        const CliParse r = parse(args);
        EXPECT_FALSE(r.ok()) << args[0];
        EXPECT_EQ(r.error, "quillon: " + message) << args[0];
    }
}

TEST(UsageAndVersionText, NameEveryOptionFileAndExitStatus) {
    const std::string text = usage_text();
    EXPECT_EQ(text.rfind("Usage: quillon", 0), 0u);
    for (const char* word : {"--covariates N", "--status-model MODEL", "--covariate-model MODEL", "--dir DIR",
                             "--pvalues", "--help", "--version", "wpedigree.dat", "wcovars.dat", "wweights.dat",
                             "  0  success", "  1  data error or numerical error", "  2  usage error"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    EXPECT_EQ(version_text(), std::string("quillon ") + QUILLON_VERSION + "\n");
}

// The finite cases run end to end on real reports; these are the ones a report rarely gives.
TEST(PvalueLines, FarTailsZeroStatisticsAndNanPrintAsTheyShould) {
    const std::string nfs = "Non-Founders Statistic p-value (two-sided normal): ";
    EXPECT_EQ(pvalue_lines(100.0, 2, true, {0.0, 1.0, true}), "Wald p-value (chi-square, df=2): 1.929e-22\n" + nfs + "1\n");
    EXPECT_EQ(pvalue_lines(1e5, 2, false, {50.0, 1.0, true}), nfs + "0\n");
    // A NaN of either sign (0/0 gives the negative one on x86) prints "nan"; so does df 0.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(pvalue_lines(-nan, 3, true, {nan, 1.0, true}), "Wald p-value (chi-square, df=3): nan\n" + nfs + "nan\n");
    EXPECT_EQ(pvalue_lines(2.5, 0, true, {-nan, -nan, false}), "Wald p-value (chi-square, df=0): nan\n" + nfs + "NA\n");
}

}  // namespace
}  // namespace quillon
