#include "report/report.hpp"

#include <cmath>

namespace quillon {

namespace {
constexpr const char* kRule = "==============================================================\n\n";
}

const char* const kNfsUndefinedWarning =
    "\n\n|WARNING:  The non-founders statistic is not defined for these data:\n"
    "|            its score is a combination of the coefficients' scores\n"
    "|            (for example, an intercept with every child weighted alike).\n"
    "|            It is printed as NA.\n";

void print_report(std::FILE* out, const Settings& s, long nfam, const FitResult& fit, const InformationResult& info,
                  const NonFoundersStatistic& nfs) {
    const long npars = s.npars;
    std::fprintf(out, "\n\nQuillon: ANALYSIS\n");
    std::fprintf(out, "%s", kRule);
    std::fprintf(out, "Number of Families: %ld\n", nfam);
    std::fprintf(out, "Number of Covariates: %ld\n", s.ncov);
    std::fprintf(out, "Number of Parameters: %ld\n", npars);
    std::fprintf(out, "Influence of genotype on disease status: %s\n", modedesc[s.smodeltype]);
    if (s.ncov != 0)
        std::fprintf(out, "Influence of genotype on covariates:     %s\n\n\n", modedesc[s.cmodeltype]);
    else
        std::fprintf(out, "\n\n");
    std::fprintf(out, "Prevalence of genotype 0: %6.4lf\n", fit.gammma[0]);
    std::fprintf(out, "Prevalence of genotype 1: %6.4lf (%7.5lf)\n", fit.gammma[1],
                 std::sqrt(info.subJI[npars - 1][npars - 1]));
    std::fprintf(out, "Prevalence of genotype 2: %6.4lf (%7.5lf)\n", fit.gammma[2], std::sqrt(info.subJI[npars][npars]));
    for (long i = 1; i <= npars - 2; ++i)
        std::fprintf(out, "par-%ld  %10.5lf (%lf)\n", i, fit.ogpars[i], std::sqrt(info.subJI[i][i]));
    std::fprintf(out, "\n");
    if (npars > 2)
        std::fprintf(out, "maximizedLogLike=%.4lf  WaldStatNus=%.4lf  df=%ld\n\n", fit.fret, info.waldstat,
                     static_cast<long>(info.wsdf));
    else
        std::fprintf(out, "maximizedLogLike=%.4f\n\n", fit.fret);
    if (nfs.defined)
        std::fprintf(out, "Non-Founders Statistic=%.4lf  NFSdenominator=%.5lf\n", nfs.statistic, nfs.denominator);
    else
        std::fprintf(out, "Non-Founders Statistic=NA  NFSdenominator=NA\n");
    std::fprintf(out, "%s", kRule);
}

}  // namespace quillon
