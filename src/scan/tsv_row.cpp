#include "scan/tsv_row.hpp"

#include <charconv>
#include <cmath>

#include "report/pvalues.hpp"

namespace quillon {

namespace {
constexpr const char* kNA = "NA";

void tab(std::string& out) { out += '\t'; }

void append_integer(std::string& out, long x) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    out.append(buf, r.ptr);
}

// Columns after the counts: 5 prevalence columns, 2 per coefficient, 7 statistics.
long number_columns(const Settings& s) { return 5 + 2 * (s.npars - 2) + 7; }
}  // namespace

void append_number(std::string& out, double x) {
    if (std::isnan(x)) {
        out += kNA;
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    out.append(buf, r.ptr);
}

std::string tsv_header(const Settings& s, const std::vector<std::string>& covariate_names) {
    std::string h = "CHR\tSNP\tBP\tA1\tA2\tFAMILIES\tCHILDREN\tMENDEL_FAMILIES\tPREV0\tPREV1\tPREV1_SE\tPREV2\tPREV2_SE";
    const auto coefficient = [&h](const std::string& name) { h += "\t" + name + "\t" + name + "_SE"; };
    if (s.cmodeltype == kNone) {
        for (const std::string& c : covariate_names) coefficient("B1_" + c);
        for (const std::string& c : covariate_names) coefficient("B2_" + c);
    } else {
        for (const std::string& c : covariate_names) coefficient("BETA_" + c);
    }
    h += "\tNEG_LOGLIK\tWALD\tWALD_DF\tWALD_P\tNFS\tNFS_DENOM\tNFS_P\tSTATUS\n";
    return h;
}

void append_row(std::string& out, const MarkerInfo& info, const RowCounts* counts, const Settings& s,
                const Analysis* a, std::string_view status) {
    out += info.chr;
    tab(out);
    out += info.id;
    tab(out);
    append_integer(out, info.bp);
    tab(out);
    out += info.a1;
    tab(out);
    out += info.a2;
    for (const long c : {counts ? counts->families : -1, counts ? counts->children : -1,
                         counts ? counts->mendel_families : -1}) {
        tab(out);
        if (counts)
            append_integer(out, c);
        else
            out += kNA;
    }
    if (a == nullptr) {
        for (long k = 0; k < number_columns(s); ++k) {
            tab(out);
            out += kNA;
        }
    } else {
        const long npars = s.npars;
        const auto number = [&out](double x) {
            out += '\t';
            append_number(out, x);
        };
        const auto na = [&out] { out += "\tNA"; };
        number(a->fit.gammma[0]);
        number(a->fit.gammma[1]);
        number(std::sqrt(a->info.subJI[npars - 1][npars - 1]));
        number(a->fit.gammma[2]);
        number(std::sqrt(a->info.subJI[npars][npars]));
        for (long i = 1; i <= npars - 2; ++i) {
            number(a->fit.ogpars[i]);
            number(std::sqrt(a->info.subJI[i][i]));
        }
        number(a->fit.fret);
        if (npars > 2) {
            number(a->info.waldstat);
            out += '\t';
            append_integer(out, a->info.wsdf);
            // No degrees of freedom: no distribution, no p-value.
            number(chisq_upper_tail(a->info.waldstat, a->info.wsdf));
        } else {
            na(), na(), na();
        }
        if (a->nfs.defined) {
            number(a->nfs.statistic);
            number(a->nfs.denominator);
            number(normal_two_sided(a->nfs.statistic));
        } else {
            na(), na(), na();
        }
    }
    tab(out);
    out += status;
    out += '\n';
}

}  // namespace quillon
