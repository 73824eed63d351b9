#include "input/dialogue.hpp"

#include "toolkit/program_exit.hpp"

namespace quillon {

namespace {

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Reads integers from a stream with the semantics of scanf "%ld", without its undefined
// behaviour on integers that do not fit a long.
class AnswerReader {
public:
    explicit AnswerReader(std::FILE* in) : in_(in) {}

    // Reads one integer into `value`; false (value untouched) at the end of the input or
    // at a token that is not an integer.  After one failure every later read fails too:
    // the offending token stays unread, so it would stop every later read anyway.
    bool read(long& value) {
        if (stuck_) return false;
        int c = std::getc(in_);
        while (is_space(c)) c = std::getc(in_);
        bool negative = false;
        if (c == '+' || c == '-') {
            negative = c == '-';
            c = std::getc(in_);
        }
        if (!is_digit(c)) {
            if (c != EOF) std::ungetc(c, in_);
            stuck_ = true;
            return false;
        }
        // The magnitude saturates at the largest one the sign allows: LONG_MAX, or
        // LONG_MAX + 1 for LONG_MIN.  The digits are all read either way.
        const unsigned long limit = static_cast<unsigned long>(LONG_MAX) + (negative ? 1UL : 0UL);
        unsigned long magnitude = 0;
        for (; is_digit(c); c = std::getc(in_)) {
            const unsigned long digit = static_cast<unsigned long>(c - '0');
            magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
        }
        if (c != EOF) std::ungetc(c, in_);
        if (!negative)
            value = static_cast<long>(magnitude);
        else
            value = magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
        return true;
    }

private:
    std::FILE* in_;
    bool stuck_ = false;
};

void echo(std::FILE* err, long value) { std::fprintf(err, "            %ld\n", value); }

// One model question: the default is stored before every read, so an unreadable answer
// (or the end of the input) keeps it and ends the loop; an integer outside lo..hi gives
// the complaint and the question again.
template <class Prompt>
int ask_model_type(AnswerReader& answers, int lo, int hi, int fallback, Prompt prompt, const char* complaint,
                   std::FILE* out, std::FILE* err) {
    int model = -1;
    while (model < lo || model > hi) {
        model = fallback;
        std::fflush(out);
        prompt(err);
        long answer = fallback;
        if (answers.read(answer)) {
            if (answer < lo || answer > hi) {
                model = -1;
                std::fprintf(out, "%s", complaint);
            } else {
                model = static_cast<int>(answer);
            }
        }
    }
    echo(err, model);
    return model;
}

}  // namespace

void run_dialogue(Settings& s, const DialoguePresets& presets, std::FILE* in, std::FILE* out, std::FILE* err) {
    AnswerReader answers(in);

    if (presets.ncov) {
        s.ncov = *presets.ncov;
    } else {
        do {
            s.ncov = 2;
            std::fflush(out);
            std::fprintf(err, "\nEnter the number of covariates(Including the \n");
            std::fprintf(err, "           Intercept if there is one)-->");
            long answer = 2;
            if (answers.read(answer)) s.ncov = answer;
            if (s.ncov < 0) std::fprintf(out, "\nPlease enter a number of covariates of 0 or more");
        } while (s.ncov < 0);
        echo(err, s.ncov);
    }
    if (s.ncov < 0 || s.ncov > kMaxCovariates) {
        std::fprintf(out, "\nERROR: %ld covariates: the number of covariates must be 0 to %ld.\n", s.ncov,
                    kMaxCovariates);
        throw ProgramExit(1);
    }

    if (presets.smodeltype) {
        s.smodeltype = *presets.smodeltype;
    } else {
        s.smodeltype = ask_model_type(
            answers, 1, 3, kDominant,
            [](std::FILE* e) {
                std::fprintf(e, "\nEnter a model_type number for effect of genotype on status\n");
                std::fprintf(e, "           Recessive(1), Dominant(2), or Additive(3)-->");
            },
            "\nPlease enter a model type 1, 2, or 3", out, err);
    }

    if (s.ncov == 0) {
        s.cmodeltype = kNone;  // no covariate for genotype to act through
    } else if (presets.cmodeltype) {
        s.cmodeltype = *presets.cmodeltype;
    } else {
        s.cmodeltype = ask_model_type(
            answers, 0, 3, kNone,
            [](std::FILE* e) {
                std::fprintf(e, "\nEnter a model_type number for effect of genotype on covariates.\n");
                std::fprintf(e, "For further explanation of this, see the documentation.\n");
                std::fprintf(e, "           None(0), Recessive(1), Dominant(2), or Additive(3)-->");
            },
            "\nPlease enter a model type 0, 1, 2, or 3", out, err);
    }

    derive_model_codings(s);
}

}  // namespace quillon
