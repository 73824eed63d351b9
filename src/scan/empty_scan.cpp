#include "scan/empty_scan.hpp"

#include <algorithm>

namespace quillon {

std::string no_family_cause(const Study& study, const std::string& fam, const std::string& covar,
                            const std::string& weights) {
    const std::string head = "no family could be formed from " + fam + ": ";
    const bool parents = std::any_of(study.people.begin(), study.people.end(),
                                     [](const FamPerson& p) { return p.father != "0" || p.mother != "0"; });
    if (!parents)
        return head + "no line names a father or a mother (columns 3 and 4 are all 0); a family needs its "
                      "children's parent IDs";
    const StudyCounts& c = study.counts;
    const long largest = std::max({c.left_unaffected, c.left_no_covariates, c.left_no_weight});
    const std::string n = std::to_string(largest) + " children were left out ";
    const std::string unmatched =
        c.unmatched_rows > 0 ? std::to_string(c.unmatched_rows) + " lines match no FID IID of " + fam
                             : std::string("check for NA or -9 values");
    if (largest > 0 && largest == c.left_no_covariates)
        return head + n + "for missing covariates in " + covar + " (" + unmatched + ")";
    if (largest > 0 && largest == c.left_no_weight)
        return head + n + "for missing weights in " + weights + " (" + unmatched + ")";
    const bool affected = std::any_of(study.people.begin(), study.people.end(),
                                      [](const FamPerson& p) { return p.phenotype == 2; });
    if (largest > 0 && !affected)
        return head + "no one is affected: phenotypes look coded 0/1, but PLINK codes affected 2, unaffected 1 "
                      "(0 or -9 missing); recode them";
    if (largest > 0) return head + n + "as not affected; --all-children keeps them";
    return head + "no child was left";
}

std::string nothing_analysed(const LoopTotals& t, bool complete_trios) {
    const auto count = [&t](RowKind k) { return t.rows[static_cast<int>(k)]; };
    if (count(RowKind::kOk) + count(RowKind::kWarning) + count(RowKind::kFailed) > 0) return "";
    int most = static_cast<int>(RowKind::kNonAutosomal);
    std::string rows;
    for (int k = most; k < static_cast<int>(RowKind::kCount); ++k) {
        if (t.rows[k] == 0) continue;
        rows += (rows.empty() ? "" : ", ") + std::to_string(t.rows[k]) + " " + kRowKindNames[k];
        if (t.rows[k] > t.rows[most]) most = k;
    }
    std::string cause;
    switch (static_cast<RowKind>(most)) {
        case RowKind::kNoFamilies:
            cause = complete_trios ? "no family had a typed child and both parents typed (--complete-trios)"
                                   : "no family had a typed child";
            break;
        case RowKind::kNonAutosomal: cause = "no test for these chromosomes"; break;
        case RowKind::kMonomorphic: cause = "every family's genotypes show one allele"; break;
        case RowKind::kXProbabilities: cause = "no test reads likelihood vectors on X"; break;
        case RowKind::kNoTypedParents: cause = "no family had a typed parent"; break;
        case RowKind::kEmptyStratum: cause = "a stratum had no family at every marker"; break;
        default: cause = "the quality-control filters removed every marker"; break;
    }
    return "no marker was analysed (" + (rows.empty() ? std::string("no rows") : rows) + "): " + cause;
}

}  // namespace quillon
