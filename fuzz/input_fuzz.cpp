// Coverage-guided fuzz target for the input stage: the three answers of the dialogue and
// the three input files, run through run_dialogue and read_families as the program runs
// them, under the address and undefined-behaviour sanitizers.
//
// A fuzz input is four sections separated by the three bytes "~~~":
//
//     answers ~~~ wpedigree.dat ~~~ wcovars.dat ~~~ wweights.dat
//
// Each file section is written byte for byte to a folder of this process.  A file whose
// section is missing (fewer than three separators) or is exactly "~absent" is not there
// at all, so the open failures are reached too.  Messages go to /dev/null.
//
// Beyond memory and undefined-behaviour faults, three things are checked, and a breach
// aborts with a message (a finding like any crash):
//  - a run that reads its input without complaint leaves what the analysis relies on:
//    every family of 3..maxfamilysize members, valid codes, typed children, a parental
//    pair for every family, a finite weight and ncov finite covariates for every member,
//    and one member for every non-blank pedigree line;
//  - the line reader returns the same lines and line numbers whatever its chunk size, so
//    lines and "\r\n" pairs split across chunks are exercised by short inputs too;
//  - the number parsers agree with the C library (strtol, strtod) on every token of the
//    input: what they accept, the C library reads whole to the same value; what they
//    refuse, it refuses too (except the forms refused on purpose: hexadecimal, a "+"
//    before nan or inf, and NUL bytes).

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "input/dialogue.hpp"
#include "genetics/family.hpp"
#include "io/line_reader.hpp"
#include "genetics/patterns.hpp"
#include "input/pedigree_input.hpp"
#include "toolkit/program_exit.hpp"
#include "model/settings.hpp"

namespace {

using quillon::famdat;
using quillon::FamilyTable;
using quillon::Settings;

constexpr std::string_view kSeparator = "~~~";
constexpr std::string_view kAbsent = "~absent";
constexpr const char* kFileNames[3] = {"wpedigree.dat", "wcovars.dat", "wweights.dat"};

// libFuzzer's entry points take no context, so the process-wide set-up lives here.
std::string g_dir;            // this process's folder for the three files
std::FILE* g_null = nullptr;  // /dev/null, for every message

void remove_folder() {
    std::error_code ec;
    if (!g_dir.empty()) std::filesystem::remove_all(g_dir, ec);
}

[[noreturn]] void breach(const char* what, int line) {
    std::fprintf(stderr, "input_fuzz.cpp:%d: check failed: %s\n", line, what);
    std::abort();
}
#define FUZZ_REQUIRE(cond)                          \
    do {                                            \
        if (!(cond)) breach(#cond, __LINE__);       \
    } while (0)

void write_file(const std::string& path, std::string_view content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (!content.empty() && std::fwrite(content.data(), 1, content.size(), f) != content.size()) std::abort();
    std::fclose(f);
}

// Number of lines of `text` that hold something other than white space, counted without
// the program's line reader: "\n" and "\r" both end lines, and a "\r\n" pair only adds an
// empty line between them, which is blank anyway.  A byte-order mark opening the text is
// not part of its first line.
long count_nonblank_lines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    long n = 0;
    bool nonblank = false;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            n += nonblank ? 1 : 0;
            nonblank = false;
        } else if (c != ' ' && c != '\t' && c != '\v' && c != '\f') {
            nonblank = true;
        }
    }
    return n + (nonblank ? 1 : 0);
}

// The lines of `text` read with a chunk of `chunk` bytes, each with its line number.
std::vector<std::pair<long, std::string>> read_lines(std::string& text, std::size_t chunk) {
    std::vector<std::pair<long, std::string>> lines;
    std::FILE* f = text.empty() ? std::fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
    if (f == nullptr) std::abort();
    quillon::LineReader reader(f, chunk);
    std::string line;
    while (reader.next(line)) lines.emplace_back(reader.line_number(), line);
    FUZZ_REQUIRE(reader.error() == 0);
    std::fclose(f);
    return lines;
}

void check_line_reader(std::string_view section, std::size_t small_chunk) {
    std::string text(section);
    FUZZ_REQUIRE(read_lines(text, small_chunk) == read_lines(text, quillon::LineReader::kDefaultChunk));
}

void check_number_parsers(std::string_view text) {
    using quillon::NumberParse;
    quillon::FieldSplitter fields(text, " \t\n\v\f\r,");
    std::string_view field;
    while (fields.next(field)) {
        const std::string copy(field);
        const bool has_nul = std::strlen(copy.c_str()) != copy.size();
        const char* begin = copy.c_str();
        const char* const whole = begin + copy.size();

        long l = 0;
        const NumberParse rl = quillon::parse_long(field, l);
        char* end = nullptr;
        errno = 0;
        const long cl = std::strtol(begin, &end, 10);
        const bool c_long_whole = !has_nul && end == whole && end != begin;
        if (rl == NumberParse::kOk) FUZZ_REQUIRE(c_long_whole && errno == 0 && cl == l);
        if (rl == NumberParse::kOutOfRange) FUZZ_REQUIRE(c_long_whole && errno == ERANGE);
        if (rl == NumberParse::kNotANumber) FUZZ_REQUIRE(!c_long_whole);
        FUZZ_REQUIRE(rl != NumberParse::kNotFinite);

        double d = 0.0;
        const NumberParse rd = quillon::parse_finite_double(field, d);
        errno = 0;
        const double cd = std::strtod(begin, &end);
        const bool c_double_whole = !has_nul && end == whole && end != begin;
        const bool refused_on_purpose =
            field.find_first_of("xX") != std::string_view::npos ||
            (field.size() >= 2 && field[0] == '+' && !(field[1] == '.' || (field[1] >= '0' && field[1] <= '9')));
        if (rd == NumberParse::kOk)
            FUZZ_REQUIRE(c_double_whole && std::isfinite(d) && std::memcmp(&cd, &d, sizeof d) == 0);
        if (rd == NumberParse::kNotFinite) FUZZ_REQUIRE(c_double_whole && !std::isfinite(cd));
        if (rd == NumberParse::kNotANumber) FUZZ_REQUIRE(!c_double_whole || refused_on_purpose);
        FUZZ_REQUIRE(rd != NumberParse::kOutOfRange);
    }
}

void check_settings(const Settings& s) {
    FUZZ_REQUIRE(s.ncov >= 0 && s.ncov <= quillon::kMaxCovariates);
    FUZZ_REQUIRE(s.smodeltype >= 1 && s.smodeltype <= 3);
    FUZZ_REQUIRE(s.cmodeltype >= 0 && s.cmodeltype <= 3);
    FUZZ_REQUIRE(s.ncov != 0 || s.cmodeltype == 0);
    FUZZ_REQUIRE(s.npars == (s.cmodeltype == 0 ? 2 * s.ncov + 2 : s.ncov + 2));
}

void check_families(const Settings& s, const FamilyTable& t, long pedigree_lines) {
    FUZZ_REQUIRE(t.nfam >= 1 && t.nfam <= quillon::maxNumberOfFamilies);
    long members = 0;
    for (long i = 1; i <= t.nfam; ++i) {
        const famdat& f = t[i];
        FUZZ_REQUIRE(f.ninfam >= 3 && f.ninfam <= quillon::maxfamilysize);
        members += f.ninfam;
        // Neighbouring families differ in their identifier (a family is a maximal run).
        FUZZ_REQUIRE(i == 1 || t[i - 1].famid != f.famid);
        for (int m = 1; m <= f.ninfam; ++m) {
            FUZZ_REQUIRE(f.famgeno[m] >= (m >= 3 ? 0 : -1) && f.famgeno[m] <= 2);
            FUZZ_REQUIRE(f.phenodat[m] >= 0 && f.phenodat[m] <= 2);
            FUZZ_REQUIRE(std::isfinite(f.weight[m]) && (f.phenodat[m] != 0 || f.weight[m] == 0.0));
            const auto& row = f.fcovdat[m];
            FUZZ_REQUIRE(row.size() == s.ncov);
            for (long c = 1; c <= row.size(); ++c) FUZZ_REQUIRE(std::isfinite(row[c]));
        }
        FUZZ_REQUIRE(!(f.famgeno[1] != -1 && f.famgeno[2] == -1));
        quillon::ParentPairs pairs;
        quillon::gx(f.famgeno, f.ninfam, f.famid, pairs);
        FUZZ_REQUIRE(pairs.unpgeno >= 1 && pairs.unpgeno <= 9);
        // With both parents typed gx takes their pair unchecked: the children must be theirs.
        if (f.famgeno[1] != -1 && f.famgeno[2] != -1)
            FUZZ_REQUIRE(quillon::pair_explains_children(f.famgeno, f.ninfam, f.famgeno[1], f.famgeno[2]));
        FUZZ_REQUIRE(f.pgenos[9].hi() == 2);
    }
    FUZZ_REQUIRE(members == pedigree_lines);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The files are rewritten for every input: a memory file system keeps that from waiting
    // on a disk (rewriting a truncated file makes some disk file systems flush it).
    std::error_code ec;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
    std::string pattern = (base / "quillon-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_dir = pattern;
    std::atexit(remove_folder);
    g_null = std::fopen("/dev/null", "w");
    if (g_null == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Split into the answers and up to three files.
    std::string_view sections[4];
    bool present[4] = {true, false, false, false};
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const std::size_t stop = k < 3 ? input.find(kSeparator, start) : std::string_view::npos;
        sections[k] = input.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start);
        if (stop == std::string_view::npos) break;
        present[k + 1] = true;
        start = stop + kSeparator.size();
    }
    for (int k = 1; k <= 3; ++k) {
        const std::string path = g_dir + "/" + kFileNames[k - 1];
        if (sections[k] == kAbsent) present[k] = false;
        if (present[k])
            write_file(path, sections[k]);
        else
            std::remove(path.c_str());
    }

    check_line_reader(sections[1], size % 7 + 1);
    check_number_parsers(input);

    // fmemopen refuses an empty buffer on some C libraries: an empty answer text is read
    // from /dev/null instead, which ends at once the same way.
    std::string answers(sections[0]);
    std::FILE* in = answers.empty() ? std::fopen("/dev/null", "r") : fmemopen(answers.data(), answers.size(), "r");
    if (in == nullptr) std::abort();

    Settings s;
    try {
        quillon::run_dialogue(s, {}, in, g_null, g_null);
        check_settings(s);
        const FamilyTable t = quillon::read_families(s, g_dir, g_null, g_null);
        check_families(s, t, present[1] ? count_nonblank_lines(sections[1]) : -1);
    } catch (const quillon::ProgramExit& e) {
        FUZZ_REQUIRE(e.status() == 1);
    }
    std::fclose(in);
    return 0;
}
