#include "model/settings.hpp"

#include <cstdio>

#include "toolkit/nrarray.hpp"

namespace quillon {

namespace {
void set_coding(int (&c)[4], int model) {
    switch (model) {
        case kRecessive: c[0] = 0; c[1] = 0; c[2] = 1; break;
        case kDominant: c[0] = 0; c[1] = 1; c[2] = 1; break;
        case kAdditive: c[0] = 0; c[1] = 1; c[2] = 2; break;
        default: break;  // None: the coding keeps its start value
    }
}
}  // namespace

void derive_model_codings(Settings& s) {
    s.npars = 2 * s.ncov + 2 * s.nstrata;
    set_coding(s.cchu1, s.smodeltype);
    if (s.cmodeltype != kNone) {
        set_coding(s.cch, s.cmodeltype);
        s.npars = s.ncov + 2 * s.nstrata;
    }
}

double working_matrix_bytes(const Settings& s) {
    const double side = static_cast<double>(s.npars) + 1.0;
    return 6.0 * side * side * static_cast<double>(sizeof(double));
}

SettingsCheck settings_fault(const Settings& s) {
    if (s.ncov == 0 && s.cmodeltype != kNone)
        return {SettingsFault::kCovariateModelWithoutCovariates,
                std::string("the covariate model ") + modedesc[s.cmodeltype] + " needs covariates"};
    const double bytes = working_matrix_bytes(s);
    if (bytes <= static_cast<double>(kMaxBlockBytes)) return {};
    char text[200];
    std::snprintf(text, sizeof text,
                  "%ld covariates give %ld parameters; their information matrices would need %.1f GiB, "
                  "more than the %.0f GiB this program holds",
                  s.ncov, s.npars, bytes / 1073741824.0, static_cast<double>(kMaxBlockBytes) / 1073741824.0);
    return {SettingsFault::kUnholdableParameterCount, text};
}

}  // namespace quillon
