#pragma once
// The three questions at the start of a run: the number of covariates, the effect of
// genotype on disease status, and the effect of genotype through the covariates.

#include <climits>
#include <cstdio>
#include <optional>

#include "model/settings.hpp"

namespace quillon {

// The largest number of covariates the program can index: the score vectors and the
// information matrix run over 1..npars + 1 = 1..2*ncov + 3, and their bounds are ints.
// This is a limit of representation, not of statistics; the input files bound any real
// count long before it (every covariate line must hold ncov numbers).
inline constexpr long kMaxCovariates = (static_cast<long>(INT_MAX) - 3) / 2;

// Answers fixed elsewhere (for example on the command line).  A preset replaces its
// question entirely: no prompt, no echo line, no complaint.  The caller has checked the
// values (ncov 0..kMaxCovariates, smodeltype 1..3, cmodeltype 0..3).
struct DialoguePresets {
    std::optional<long> ncov;
    std::optional<int> smodeltype;
    std::optional<int> cmodeltype;
};

// Asks the questions that have no preset, then sets npars, cchu1 and cch
// (derive_model_codings).
//
// Prompts and echo lines ("            %ld\n", the accepted value) go to `err` (standard
// error in the program); the "Please enter" complaints and the error below go to `out`
// (standard output), which is flushed before every prompt so that on a terminal a
// complaint shows before its question is asked again.
//  - Number of covariates: the default 2 is stored before every read; a negative answer
//    gives "\nPlease enter a number of covariates of 0 or more" and the question again.
//  - Status model (1..3), default 2; covariate model (0..3), default 0, asked only when
//    ncov is not 0 (otherwise cmodeltype is 0, whatever its preset).  An answer outside
//    the range gives the question's complaint and the question again.
//
// Answers are read from `in` as scanf "%ld" reads them: white space (newlines included)
// is skipped, an optional sign and digits form the number, and the character after the
// digits is left in the input, so all answers may stand on one line.  An unreadable token
// (a lone sign counts as one) or the end of the input leaves the question's default, and
// every later question then takes its default too, as the token stays unread.
// An integer too large for a long is read whole and taken as LONG_MAX (LONG_MIN when
// negative): an out-of-range model type is then refused with the complaint, and an
// absurd number of covariates ends the run as below.
//
// More than kMaxCovariates covariates: an error on `out` and ProgramExit(1).
void run_dialogue(Settings& s, const DialoguePresets& presets = {}, std::FILE* in = stdin, std::FILE* out = stdout,
                  std::FILE* err = stderr);

}  // namespace quillon
