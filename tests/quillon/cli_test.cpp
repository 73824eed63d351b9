#include "quillon/cli.hpp"

#include <gtest/gtest.h>

#include <cstddef>
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

TEST(ParseCommandLine, NoArgumentsLeavesEveryQuestionToTheDialogue) {
    const CliParse r = parse({});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_FALSE(r.options.ncov);
    EXPECT_FALSE(r.options.smodeltype);
    EXPECT_FALSE(r.options.cmodeltype);
    EXPECT_EQ(r.options.dir, ".");
    EXPECT_FALSE(r.options.pvalues);
    EXPECT_FALSE(r.options.help);
    EXPECT_FALSE(r.options.version);
}

TEST(ParseCommandLine, EachOptionAloneInBothForms) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--covariates", "3"}, {"--covariates=3"}}) {
        const CliParse r = parse(args);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.options.ncov, 3L);
        EXPECT_FALSE(r.options.smodeltype);
        EXPECT_FALSE(r.options.cmodeltype);
    }
    EXPECT_EQ(parse({"--covariates", "0"}).options.ncov, 0L);
    EXPECT_EQ(parse({"--covariates=007"}).options.ncov, 7L);
    EXPECT_EQ(parse({"--covariates", "1073741822"}).options.ncov, kMaxCliCovariates);

    const char* names[] = {"None", "reCessive", "Dominant", "ADDITIVE"};
    for (int type = 0; type <= 3; ++type) {
        const std::string digit = std::to_string(type);
        EXPECT_EQ(parse({"--covariate-model", names[type]}).options.cmodeltype, type);
        EXPECT_EQ(parse({"--covariate-model=" + digit}).options.cmodeltype, type);
        if (type == 0) continue;
        EXPECT_EQ(parse({"--status-model=" + std::string(names[type])}).options.smodeltype, type);
        EXPECT_EQ(parse({"--status-model", digit}).options.smodeltype, type);
    }

    EXPECT_EQ(parse({"--dir", "data/run 1"}).options.dir, "data/run 1");
    EXPECT_EQ(parse({"--dir=/tmp/x=y"}).options.dir, "/tmp/x=y");  // only the first '=' splits
    EXPECT_EQ(parse({"--dir", "-odd"}).options.dir, "-odd");
    EXPECT_EQ(parse({"--dir=--odd"}).options.dir, "--odd");

    EXPECT_TRUE(parse({"--pvalues"}).options.pvalues);
    EXPECT_TRUE(parse({"--help"}).options.help);
    EXPECT_TRUE(parse({"--version"}).options.version);
    EXPECT_FALSE(parse({"--help"}).options.version);
}

TEST(ParseCommandLine, AllOptionsTogether) {
    const CliParse r = parse({"--pvalues", "--covariates=2", "--dir", "fam7", "--status-model",
                              "additive", "--covariate-model=1"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.ncov, 2L);
    EXPECT_EQ(r.options.smodeltype, 3);
    EXPECT_EQ(r.options.cmodeltype, 1);
    EXPECT_EQ(r.options.dir, "fam7");
    EXPECT_TRUE(r.options.pvalues);
    EXPECT_FALSE(r.options.help);

    const CliParse both = parse({"--version", "--help"});
    ASSERT_TRUE(both.ok());
    EXPECT_TRUE(both.options.help);
    EXPECT_TRUE(both.options.version);
}

TEST(ParseCommandLine, CovariateModelNoneIsTheOnlyOneWithoutCovariates) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--covariates", "0", "--covariate-model", "none"},
             {"--covariate-model=0", "--covariates=0"},
             {"--covariates", "0", "--status-model", "2"}}) {
        const CliParse r = parse(args);
        EXPECT_TRUE(r.ok()) << r.error;
    }
    // A covariate model without --covariates is left to the dialogue's answer.
    EXPECT_TRUE(parse({"--covariate-model", "additive"}).ok());
}

struct ErrorCase {
    std::vector<std::string> args;
    std::string message;
};

TEST(ParseCommandLine, UsageErrorsNameTheirCause) {
    const std::string cov_range = " is not a whole number from 0 to 1073741822";
    const std::string smodels = " is not recessive, dominant, additive, 1, 2 or 3";
    const std::string cmodels = " is not none, recessive, dominant, additive, 0, 1, 2 or 3";
    const std::vector<ErrorCase> cases = {
        // Missing values: at the end, before another option, or empty.
        {{"--covariates"}, "quillon: option --covariates needs a value"},
        {{"--covariates", "--pvalues"}, "quillon: option --covariates needs a value"},
        {{"--covariates="}, "quillon: option --covariates needs a value"},
        {{"--covariate-model", "--dir", "x"}, "quillon: option --covariate-model needs a value"},
        {{"--dir"}, "quillon: option --dir needs a value"},
        {{"--dir", ""}, "quillon: option --dir needs a value"},
        // Numbers: no sign, no blanks, no trailing text, no overflow.
        {{"--covariates", "-1"}, "quillon: --covariates: '-1'" + cov_range},
        {{"--covariates=+3"}, "quillon: --covariates: '+3'" + cov_range},
        {{"--covariates", " 3"}, "quillon: --covariates: ' 3'" + cov_range},
        {{"--covariates", "3x"}, "quillon: --covariates: '3x'" + cov_range},
        {{"--covariates", "1e3"}, "quillon: --covariates: '1e3'" + cov_range},
        {{"--covariates", "1073741823"}, "quillon: --covariates: '1073741823'" + cov_range},
        {{"--covariates", "99999999999999999999999"},
         "quillon: --covariates: '99999999999999999999999'" + cov_range},
        // Model types.
        {{"--status-model", "none"}, "quillon: --status-model: 'none'" + smodels},
        {{"--status-model", "0"}, "quillon: --status-model: '0'" + smodels},
        {{"--status-model=4"}, "quillon: --status-model: '4'" + smodels},
        {{"--status-model", "rec"}, "quillon: --status-model: 'rec'" + smodels},
        {{"--status-model", "additive "}, "quillon: --status-model: 'additive '" + smodels},
        {{"--covariate-model", "4"}, "quillon: --covariate-model: '4'" + cmodels},
        {{"--covariate-model", "-1"}, "quillon: --covariate-model: '-1'" + cmodels},
        {{"--covariate-model", "nothing"}, "quillon: --covariate-model: 'nothing'" + cmodels},
        // Flags take no value.
        {{"--pvalues=yes"}, "quillon: option --pvalues takes no value"},
        {{"--help="}, "quillon: option --help takes no value"},
        // Unknown options and stray arguments.
        {{"--bogus"}, "quillon: unknown option '--bogus' (see quillon --help)"},
        {{"--cov", "2"}, "quillon: unknown option '--cov' (see quillon --help)"},
        {{"-h"}, "quillon: unknown option '-h' (see quillon --help)"},
        {{"--"}, "quillon: unknown option '--' (see quillon --help)"},
        {{"data"}, "quillon: unexpected argument 'data' (see quillon --help)"},
        {{""}, "quillon: unexpected argument '' (see quillon --help)"},
        {{"--pvalues", "extra"}, "quillon: unexpected argument 'extra' (see quillon --help)"},
        {{"--covariates", "2", "3"}, "quillon: unexpected argument '3' (see quillon --help)"},
        // Each option at most once, even with the same value.
        {{"--dir", "a", "--dir", "b"}, "quillon: option --dir given more than once"},
        {{"--covariates", "2", "--covariates=2"},
         "quillon: option --covariates given more than once"},
        {{"--pvalues", "--pvalues"}, "quillon: option --pvalues given more than once"},
        // A covariate model other than None needs covariates, in either order.
        {{"--covariates", "0", "--covariate-model", "additive"},
         "quillon: --covariate-model additive needs covariates, but --covariates is 0 (use none)"},
        {{"--covariate-model=1", "--covariates=0"},
         "quillon: --covariate-model recessive needs covariates, but --covariates is 0 (use none)"},
        // The first error met wins, and an error outweighs --help.
        {{"--bogus", "--covariates", "x"}, "quillon: unknown option '--bogus' (see quillon --help)"},
        {{"--help", "--covariates", "-2"}, "quillon: --covariates: '-2'" + cov_range},
    };
    for (const ErrorCase& c : cases) {
        const CliParse r = parse(c.args);
        std::string shown;
        for (const std::string& a : c.args) shown += "[" + a + "]";
        EXPECT_FALSE(r.ok()) << shown;
        EXPECT_EQ(r.error, c.message) << shown;
    }
}

TEST(ParseCommandLine, ErrorMessagesStayOnOneShortLine) {
    const CliParse ctrl = parse({"bad\narg\t"});
    EXPECT_EQ(ctrl.error, "quillon: unexpected argument 'bad?arg?' (see quillon --help)");

    const CliParse longword = parse({"--covariates", std::string(500, '7')});
    EXPECT_EQ(longword.error,
              "quillon: --covariates: '" + std::string(60, '7') + "...'" +
                  " is not a whole number from 0 to 1073741822");
}

TEST(UsageText, NamesEveryOptionFileAndExitStatus) {
    const std::string text = usage_text();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("Usage: quillon", 0), 0u);
    EXPECT_EQ(text.back(), '\n');
    for (const char* word :
         {"--covariates N", "--status-model MODEL", "--covariate-model MODEL", "--dir DIR",
          "--pvalues", "--help", "--version", "wpedigree.dat", "wcovars.dat", "wweights.dat",
          "  0  success", "  1  data error or numerical error", "  2  usage error"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
    // Readable in a terminal: no line wider than 100 columns.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        EXPECT_LE(end - start, 100u) << text.substr(start, end - start);
        start = end + 1;
    }
}

TEST(VersionText, IsProgramNameAndBuildVersion) {
    EXPECT_EQ(version_text(), std::string("quillon ") + QUILLON_VERSION + "\n");
}

TEST(PvalueLines, WaldLineOnlyWithCovariates) {
    EXPECT_EQ(pvalue_lines(3.841459, 1, true, 1.959964),
              "Wald p-value (chi-square, df=1): 0.05\n"
              "Non-Founders Statistic p-value (two-sided normal): 0.05\n");
    EXPECT_EQ(pvalue_lines(3.841459, 1, false, -1.959964),
              "Non-Founders Statistic p-value (two-sided normal): 0.05\n");
    // exp(-50) = 1.9287e-22; a statistic of 0 gives p = 1.
    EXPECT_EQ(pvalue_lines(100.0, 2, true, 0.0),
              "Wald p-value (chi-square, df=2): 1.929e-22\n"
              "Non-Founders Statistic p-value (two-sided normal): 1\n");
    // Far beyond the smallest double.
    EXPECT_EQ(pvalue_lines(1e5, 4, true, 50.0),
              "Wald p-value (chi-square, df=4): 0\n"
              "Non-Founders Statistic p-value (two-sided normal): 0\n");
}

TEST(PvalueLines, NotANumberPrintsNan) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(pvalue_lines(nan, 3, true, nan),
              "Wald p-value (chi-square, df=3): nan\n"
              "Non-Founders Statistic p-value (two-sided normal): nan\n");
    // A NaN with the sign bit set, as 0/0 gives on x86, still prints "nan".
    EXPECT_EQ(pvalue_lines(-nan, 3, true, -nan),
              "Wald p-value (chi-square, df=3): nan\n"
              "Non-Founders Statistic p-value (two-sided normal): nan\n");
    // No degrees of freedom left: no chi-square distribution to refer the statistic to.
    EXPECT_EQ(pvalue_lines(2.5, 0, true, 1.0),
              "Wald p-value (chi-square, df=0): nan\n"
              "Non-Founders Statistic p-value (two-sided normal): 0.3173\n");
}

}  // namespace
}  // namespace quillon
