#include "model/analysis.hpp"

#include <utility>

namespace quillon {

int largest_family(const FamilyTable& families) {
    int largest = 3;
    for (long i = 1; i <= families.nfam; ++i)
        if (families[i].ninfam > largest) largest = families[i].ninfam;
    return largest;
}

Analysis analyse(const Settings& s, const FamilyTable& families, const GenotypeTable& table) {
    if (s.fit == FitMethod::kNewton) return analyse(s, families, table, LikelihoodDerivatives(s, families));
    Analysis a;
    a.fit = fit_model(s, families);
    a.info = information_step(s, families, table, a.fit);
    a.nfs = non_founders_statistic(a.info);
    return a;
}

Analysis analyse(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                 const LikelihoodDerivatives& objective) {
    Analysis a;
    if (s.fit == FitMethod::kNewton) {
        NewtonFit newton = fit_model_newton_from(s, objective, start_values(s));
        if (newton.status == NewtonStatus::kConverged)
            a.fit = std::move(newton.fit);
        else
            a.fell_back = newton.status;
    }
    if (s.fit == FitMethod::kPowell || a.fell_back) a.fit = fit_model(s, families);
    a.info = information_step(s, families, table, a.fit);
    a.nfs = non_founders_statistic(a.info);
    return a;
}

}  // namespace quillon
