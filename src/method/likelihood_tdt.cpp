#include "method/likelihood_tdt.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "genetics/transmission.hpp"
#include "method/tail_probabilities.hpp"
#include "model/analysis.hpp"

namespace quillon {

LikelihoodTdt::LikelihoodTdt(const Settings& s) : s_(s) {
    SettingsCheck check = settings_fault(s_);
    if (check.fault != SettingsFault::kNone) throw SettingsRefused(std::move(check));
}

Schema LikelihoodTdt::schema(const std::vector<std::string>& covariates) const {
    Schema columns = {{"PREV0", ColumnKind::kPrevalence},
                      {"PREV1", ColumnKind::kPrevalence},
                      {"PREV1_SE", ColumnKind::kStandardError},
                      {"PREV2", ColumnKind::kPrevalence},
                      {"PREV2_SE", ColumnKind::kStandardError}};
    const auto coefficients = [&columns, &covariates](const std::string& prefix) {
        for (const std::string& c : covariates) {
            columns.push_back({prefix + c, ColumnKind::kEstimate});
            columns.push_back({prefix + c + "_SE", ColumnKind::kStandardError});
        }
    };
    if (s_.cmodeltype == kNone) {
        coefficients("B1_");
        coefficients("B2_");
    } else {
        coefficients("BETA_");
    }
    columns.insert(columns.end(), {{"NEG_LOGLIK", ColumnKind::kLogLikelihood},
                                   {"WALD", ColumnKind::kStatistic},
                                   {"WALD_DF", ColumnKind::kDegreesOfFreedom},
                                   {"WALD_P", ColumnKind::kPValue},
                                   {"NFS", ColumnKind::kStatistic},
                                   {"NFS_DENOM", ColumnKind::kStandardError},
                                   {"NFS_P", ColumnKind::kPValue}});
    return columns;
}

MarkerResult LikelihoodTdt::run(FamilyTable& families, const GenotypeTable& table) const {
    MarkerResult r;
    Analysis a;
    try {
        a = analyse(s_, families, table);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = e;
        return r;
    } catch (const MissingGenotypeError& e) {
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = NumericalError(e.what(), NumericalKind::kMissingGenotype);
        return r;
    }
    if (a.fell_back) {
        r.fit.outcome = FitOutcome::kFellBack;
        r.fit.newton = *a.fell_back;
    }
    r.conditions.near_singular = a.info.near_singular;
    r.conditions.nfs_undefined = !a.nfs.defined;

    const long npars = s_.npars;
    const DMatrix& cov = a.info.subJI;
    std::vector<double>& v = r.values;
    v.reserve(static_cast<std::size_t>(5 + 2 * (npars - 2) + 7));
    v.insert(v.end(), {a.fit.gammma[0], a.fit.gammma[1], std::sqrt(cov[npars - 1][npars - 1]), a.fit.gammma[2],
                       std::sqrt(cov[npars][npars])});
    for (long i = 1; i <= npars - 2; ++i) v.insert(v.end(), {a.fit.ogpars[i], std::sqrt(cov[i][i])});
    v.push_back(a.fit.fret);
    constexpr double kNA = std::numeric_limits<double>::quiet_NaN();
    if (npars > 2)  // no degrees of freedom: no distribution, a NaN p-value
        v.insert(v.end(), {a.info.waldstat, static_cast<double>(a.info.wsdf),
                           chisq_upper_tail(a.info.waldstat, a.info.wsdf)});
    else
        v.insert(v.end(), {kNA, kNA, kNA});
    if (a.nfs.defined)
        v.insert(v.end(), {a.nfs.statistic, a.nfs.denominator, normal_two_sided(a.nfs.statistic)});
    else
        v.insert(v.end(), {kNA, kNA, kNA});
    r.covariance = std::move(a.info.subJI);
    return r;
}

}  // namespace quillon
