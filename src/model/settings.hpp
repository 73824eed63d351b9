#pragma once
// The run's settings, fixed by the dialogue (or the command line) and read by every later
// stage.

#include <string>

namespace quillon {

// Model types.  The status model is 1..3; the covariate model 0..3.
enum ModelType : int { kNone = 0, kRecessive = 1, kDominant = 2, kAdditive = 3 };

// Label of a model type, indexed by its number.
inline constexpr const char* modedesc[5] = {"None", "Recessive", "Dominant", "Additive", ""};

// How the maximum is found: the direction-set minimiser (fit_model) or Newton's method with
// the analytic derivatives (fit_model_newton, newton.hpp), falling back to the former.
enum class FitMethod { kPowell, kNewton };

struct Settings {
    long ncov = 2;        // covariate columns per individual (an intercept is one of them)
    int smodeltype = -1;  // effect of genotype on status: 1..3
    int cmodeltype = -1;  // effect of genotype through the covariates: 0..3
    long npars = 2;       // free parameters: 2*ncov+2*nstrata (covariate model None) or ncov+2*nstrata
    // Strata of the parents' genotype prior: each stratum has its own prevalence parameters
    // (eta1, eta2), after the coefficients in stratum order; the coefficients are shared.
    long nstrata = 1;
    // Genotype codings: code of genotype g = 0, 1, 2 (index 3 is never read).
    int cchu1[4] = {0, 1, 1, 0};  // from the status model
    int cch[4] = {0, 1, 1, 0};    // from the covariate model (None keeps 0, 1, 1)
    FitMethod fit = FitMethod::kPowell;
};

// Sets npars, cchu1 and cch from ncov, nstrata, smodeltype and cmodeltype (which must be in range).
void derive_model_codings(Settings& s);

// The covariate coefficients: theta[1..coefficients(s)]; stratum k's (0-based) prevalence
// parameters eta1, eta2 follow at prevalence_slot(s, k) and prevalence_slot(s, k) + 1.
inline long coefficients(const Settings& s) { return s.npars - 2 * s.nstrata; }
inline long prevalence_slot(const Settings& s, long stratum) { return coefficients(s) + 2 * stratum + 1; }

// Bytes that the square working matrices of the fit and the information step need together:
// six matrices of side npars + 1 (the direction set, the information matrix, its parameter
// block, the pseudo-inverse and the decomposition's two scratch matrices).  A run refuses a
// parameter count for which this exceeds the largest block it allocates (kMaxBlockBytes).
double working_matrix_bytes(const Settings& s);

// Settings no analysis can run with.  Each front end words its own message from the fault.
enum class SettingsFault {
    kNone,
    kCovariateModelWithoutCovariates,  // a covariate model other than None and ncov 0
    kUnholdableParameterCount,         // working_matrix_bytes above kMaxBlockBytes
};

struct SettingsCheck {
    SettingsFault fault = SettingsFault::kNone;
    std::string reason;  // "" for kNone; for kUnholdableParameterCount "N covariates give P
                         // parameters; their information matrices would need ..."
};

// The first fault of `s` (whose codings are derived), in the order of the enumeration.
SettingsCheck settings_fault(const Settings& s);

}  // namespace quillon
