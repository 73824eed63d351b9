#pragma once
// X-linked families for tests: members as support/families.hpp builds them, with X codes
// (a male's allele 0 or 1, a female's genotype 0..2) and the X pairs set; and families drawn
// from the X model.

#include <vector>

#include "genetics/x_inheritance.hpp"
#include "model/x_likelihood.hpp"
#include "support/families.hpp"

namespace quillon::test_support {

// Members father, mother, children (each child's sex given); the X pairs are set.
inline famdat x_family(long famid, long ncov, const std::vector<Member>& members) {
    famdat fam = make_family(famid, ncov, members);
    if (!x_store_consistent_pairs(fam)) fam.npgeno = 0;
    return fam;
}

template <class... Families>
FamilyTable x_table(Families&&... families) {
    std::vector<famdat> v;
    (v.push_back(std::move(families)), ...);
    return make_table(std::move(v));
}

// A family drawn from the X model: the mother from gamma[0..2], the father's allele with
// probability q, 1..max_children children of random sex, each from the tilted X
// transmission at relative risks exp(beta * level * x) (x ~ N(0, 1), covariate 2 after an
// intercept when ncov is 2; no covariates when ncov is 0).  Each parent is untyped with
// probability `untyped`.
inline famdat draw_x_family(TestRng& rng, long famid, const XModel& xm, const double gamma[3], double q, double beta,
                            int max_children, double untyped, long ncov) {
    const int m = rng.genotype(gamma);
    const int a = rng.uniform() < q ? 1 : 0;
    std::vector<Member> members = {Member{a, 1, 1.0, {1.0, 0.0}, 1}, Member{m, 1, 1.0, {1.0, 0.0}, 2}};
    const int nkids = rng.between(1, max_children);
    for (int c = 0; c < nkids; ++c) {
        const int sex = rng.between(1, 2);
        const double x = rng.normal();
        double w[3];
        for (int g = 0; g < 3; ++g)
            w[g] = g > (sex == 1 ? 1 : 2) ? 0.0 : x_transmission(sex, a, m, g) * std::exp(beta * x_level(xm, sex, g) * x);
        const double p[3] = {w[0] / (w[0] + w[1] + w[2]), w[1] / (w[0] + w[1] + w[2]), w[2] / (w[0] + w[1] + w[2])};
        members.push_back(Member{rng.genotype(p), 1, 1.0, {1.0, x}, sex});
    }
    if (rng.uniform() < untyped) members[0].geno = -1;
    if (rng.uniform() < untyped) members[1].geno = -1;
    return x_family(famid, ncov, members);
}

}  // namespace quillon::test_support
