#include "report/report.hpp"

namespace quillon {

namespace {
constexpr const char* kRule = "==============================================================\n\n";

constexpr const char* kFellBackWarning =
    "\n\n|WARNING:  Newton's method did not converge for these data (no unique finite\n"
    "|            maximum, or a singular information matrix); the estimates below\n"
    "|            are those of the direction-set fit (--fit powell).\n";

constexpr const char* kNearSingularWarning =
    "\n\n"
    "|WARNING:  The matrix is close to being singular.\n"
    "|            The computations done here might be seriously affected\n"
    "|            by the limits of the machine precision.\n"
    "|          Those singular values < (10E-13)*maxSingularValue\n"
    "|            are being set = 0 along with their reciprocals\n"
    "|            and the computation of the inverse of the matrix\n"
    "|            is continuing.\n";

constexpr const char* kNfsUndefinedWarning =
    "\n\n|WARNING:  The non-founders statistic is not defined for these data:\n"
    "|            its score is a combination of the coefficients' scores\n"
    "|            (for example, an intercept with every child weighted alike).\n"
    "|            It is printed as NA.\n";

constexpr const char* kSonsUninformativeWarning =
    "\n\n|WARNING:  With --xchr-model 1 and a Recessive model a son's one allele\n"
    "|            has the risk of genotype 1, which the model sets to that of\n"
    "|            genotype 0: sons carry no information.\n";
}  // namespace

std::string warning_text(const MarkerResult& r) {
    std::string text;
    if (r.fit.outcome == FitOutcome::kFellBack) text += kFellBackWarning;
    if (r.conditions.near_singular) text += kNearSingularWarning;
    if (r.conditions.nfs_undefined) text += kNfsUndefinedWarning;
    if (r.conditions.sons_uninformative) text += kSonsUninformativeWarning;
    return text;
}

void print_report(std::FILE* out, const Settings& s, long nfam, const Schema& schema, const MarkerResult& r,
                  const XModel* x, const std::vector<std::string>& strata) {
    const auto value = [&](const std::string& name) { return r.values[column_index(schema, name)]; };
    std::fprintf(out, "\n\nQuillon: ANALYSIS\n");
    std::fprintf(out, "%s", kRule);
    std::fprintf(out, "Number of Families: %ld\n", nfam);
    std::fprintf(out, "Number of Covariates: %ld\n", s.ncov);
    std::fprintf(out, "Number of Parameters: %ld\n", x ? x_parameters(s, *x) : s.npars);
    if (x)
        std::fprintf(out, "Chromosome X: a son's allele counts as %d %s (--xchr-model %d)\n", x->coding,
                     x->coding == 1 ? "copy" : "copies", x->coding);
    std::fprintf(out, "Influence of genotype on disease status: %s\n", modedesc[s.smodeltype]);
    if (s.ncov != 0)
        std::fprintf(out, "Influence of genotype on covariates:     %s\n\n\n", modedesc[s.cmodeltype]);
    else
        std::fprintf(out, "\n\n");
    const char* prevalence = x ? "Mothers' prevalence" : "Prevalence";
    if (strata.empty()) {
        std::fprintf(out, "%s of genotype 0: %6.4lf\n", prevalence, value("PREV0"));
        std::fprintf(out, "%s of genotype 1: %6.4lf (%7.5lf)\n", prevalence, value("PREV1"), value("PREV1_SE"));
        std::fprintf(out, "%s of genotype 2: %6.4lf (%7.5lf)\n", prevalence, value("PREV2"), value("PREV2_SE"));
    }
    for (const std::string& l : strata) {
        const char* label = l.c_str();
        std::fprintf(out, "%s of genotype 0 in stratum %s: %6.4lf\n", prevalence, label, value("PREV0_" + l));
        std::fprintf(out, "%s of genotype 1 in stratum %s: %6.4lf (%7.5lf)\n", prevalence, label, value("PREV1_" + l),
                     value("PREV1_" + l + "_SE"));
        std::fprintf(out, "%s of genotype 2 in stratum %s: %6.4lf (%7.5lf)\n", prevalence, label, value("PREV2_" + l),
                     value("PREV2_" + l + "_SE"));
    }
    // On X the fathers' frequency, each stratum's with strata ("" the one label without).
    for (const std::string& l : strata.empty() ? std::vector<std::string>{""} : strata) {
        if (!x) break;
        const std::string in = l.empty() ? "" : " in stratum " + l, name = "PREV_FATHER_A1" + (l.empty() ? "" : "_" + l);
        if (x->tie_freq)
            std::fprintf(out, "Fathers' frequency of allele 2%s: %6.4lf (tied to the mothers')\n", in.c_str(), value(name));
        else
            std::fprintf(out, "Fathers' frequency of allele 2%s: %6.4lf (%7.5lf)\n", in.c_str(), value(name),
                         value(name + "_SE"));
    }
    long coefficient = 0;  // each estimate is followed by its standard error
    for (std::size_t c = 0; c < schema.size(); ++c)
        if (schema[c].kind == ColumnKind::kEstimate)
            std::fprintf(out, "par-%ld  %10.5lf (%lf)\n", ++coefficient, r.values[c], r.values[c + 1]);
    std::fprintf(out, "\n");
    if (coefficients(s) > 0)
        std::fprintf(out, "maximizedLogLike=%.4lf  WaldStatNus=%.4lf  df=%ld\n\n", value("NEG_LOGLIK"), value("WALD"),
                     static_cast<long>(value("WALD_DF")));
    else
        std::fprintf(out, "maximizedLogLike=%.4f\n\n", value("NEG_LOGLIK"));
    if (r.conditions.nfs_undefined)
        std::fprintf(out, "Non-Founders Statistic=NA  NFSdenominator=NA\n");
    else
        std::fprintf(out, "Non-Founders Statistic=%.4lf  NFSdenominator=%.5lf\n", value("NFS"), value("NFS_DENOM"));
    std::fprintf(out, "%s", kRule);
}

}  // namespace quillon
