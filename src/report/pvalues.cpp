#include "report/pvalues.hpp"

#include <cmath>
#include <cstdio>

namespace quillon {

namespace {
// "%.4g" of a p-value; a NaN of either sign prints "nan".
std::string p_text(double p) {
    if (std::isnan(p)) return "nan";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", p);
    return buf;
}
}  // namespace

std::string pvalue_lines(const Schema& schema, const MarkerResult& r, bool have_covariates) {
    const auto value = [&](const char* name) { return r.values[column_index(schema, name)]; };
    std::string out;
    char buf[128];
    if (have_covariates) {
        // With no degrees of freedom every coefficient has been left out of them and there
        // is no chi-square distribution to refer to: the p-value is NaN and reads "nan".
        std::snprintf(buf, sizeof buf, "Wald p-value (chi-square, df=%d): %s\n", static_cast<int>(value("WALD_DF")),
                      p_text(value("WALD_P")).c_str());
        out += buf;
    }
    std::snprintf(buf, sizeof buf, "Non-Founders Statistic p-value (two-sided normal): %s\n",
                  r.conditions.nfs_undefined ? "NA" : p_text(value("NFS_P")).c_str());
    out += buf;
    return out;
}

}  // namespace quillon
