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
    // The further tests, under the scan's column names (par-k is column k of wcovars.dat).
    const std::size_t before = out.size();
    for (std::size_t c = 0; c < schema.size(); ++c) {
        const Column& col = schema[c];
        const bool reported = col.kind == ColumnKind::kPrevalence || col.kind == ColumnKind::kEstimate ||
                              col.kind == ColumnKind::kLogLikelihood || col.name.starts_with("WALD") ||
                              col.name.starts_with("NFS") ||
                              (col.kind == ColumnKind::kStandardError && c > 0 &&
                               schema[c - 1].kind != ColumnKind::kMarginalEstimate);
        if (reported && col.name != "WALD_LOG10P" && col.name != "NFS_LOG10P") continue;
        if (std::isnan(r.values[c]))
            std::snprintf(buf, sizeof buf, "  %s NA\n", col.name.c_str());
        else
            std::snprintf(buf, sizeof buf, "  %s %.6g\n", col.name.c_str(), r.values[c]);
        out += buf;
    }
    if (out.size() > before) out.insert(before, "Further tests:\n");
    return out;
}

}  // namespace quillon
