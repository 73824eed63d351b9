#pragma once
// The score tests of one marker straight from the study's families and the marker's
// genotypes, without its family table, where every family kept has both parents typed.  The
// families kept, their children and the Mendel errors are those build_marker_families finds
// (with both parents typed a family is left out exactly when a typed child is impossible
// under them), and the children are tallied in its order, so the statistics are the very
// doubles of the test on the marker's family table.
//
// Where every family is a trio, the pass reads each trio's three calls through one table
// indexed by them; where, besides, the quality-control people's founders are the trios'
// parents (each once) and their transmission families these trios (every child affected), it
// takes the founders' allele counts and PLINK's transmission counts in the same pass.

#include <array>
#include <cstdint>
#include <optional>

#include "method/likelihood_tdt.hpp"
#include "scan/marker_task.hpp"

namespace quillon {

// What a trio's calls give the pass, by trio_key(father, mother, child): what becomes of the
// trio; the parents' copies of A1 and of A2 and, where the trio is tallied, PLINK's
// transmissions of A1 and of A2 to the child (counts, in that order); and where the pass adds
// the child's covariates (TrioTally::add_sums): a tallied child of a pair with a heterozygous
// parent at its pair and genotype (pair_slot, genotype_slot = pg), any other at the spare slots
// key % kSpareSlots, where the frequent keys of homozygous pairs meet only keys of untyped
// members or Mendel errors (so that the sums of consecutive trios rarely wait on each other).
struct TrioAction {
    enum Kind : std::uint8_t { kSkip, kUntypedParent, kMendel, kTally };
    Kind kind = kSkip;
    std::uint8_t pair_slot = 0, genotype_slot = 0, pg = 0;
    std::array<std::int32_t, 4> counts{};
};
inline constexpr std::size_t kTrioKeys = 64, kSpareSlots = 16;
inline std::size_t trio_key(int father, int mother, int child) {
    return static_cast<std::size_t>(16 * (father + 1) + 4 * (mother + 1) + child + 1);
}

// The study's families laid out flat once per scan for the pass: each family's parents and
// children (Study::people indices) and each child's covariate row.
struct ScoreLayout {
    ScoreLayout(const Study& study, const QcPeople& qc);
    std::vector<std::int32_t> father, mother;  // per family, -1 a placeholder
    std::vector<std::uint32_t> child_begin;    // family j's children are child_begin[j]..child_begin[j+1]-1
    std::vector<std::int32_t> child;
    std::vector<double> x;  // child c's covariates at c * ncov
    std::size_t ncov = 0;
    // Every family a trio: family j's members at trio[j], a placeholder parent at the index
    // one past the last person (placeholders: some trio has one).
    struct Trio {
        std::int32_t father, mother, child;
    };
    std::vector<Trio> trio;  // empty unless every family is a trio
    std::array<TrioAction, kTrioKeys> actions{};
    bool placeholders = false;
    bool qc_counts = false;   // the founders' alleles and the transmissions counted by the pass
    bool unit_first = false;  // every trio's child has covariate 1 equal to 1 (the intercept)
};

// True when it settled the marker's outcome (counts, Mendel errors, kind and result); false
// where a family kept has an untyped parent, or the full fit is to run: the caller then takes
// the whole way, which rewrites all of that.  With `qc` (the layout's qc_counts) it also sets
// qc->tdt, and with `alleles` qc->alleles, where it returns true and where the full fit is to
// run; then `screened` also gets the score statistics the screening computed.
bool score_pass(const ScanContext& ctx, const ScoreLayout& layout, const LikelihoodTdt& test, const Marker& marker,
                MarkerOutcome& out, MarkerQc* qc = nullptr, bool alleles = false,
                std::optional<ScoreStatistics>* screened = nullptr);

}  // namespace quillon
