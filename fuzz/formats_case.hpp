#pragma once
// One case of the formats fuzz target, shared by the libFuzzer target (formats_fuzz.cpp) and
// the test that replays its corpus (tests/formats/fuzz_corpus_test.cpp).
//
// A case is a flag byte, then five sections separated by "~~~":
//
//     flags .fam ~~~ .bim ~~~ .bed ~~~ covariates ~~~ weights
//
// Flags: 1 no intercept, 2 all children, 4 only the covariates "b" and "a", 8 the .bed
// section follows the three header bytes 0x6c 0x1b 0x01 (written for it), 16 the .bed's
// marker bytes are cut or padded (with the section's bytes again) to the size the .bim and
// .fam ask for, so that the markers are decoded, 32 the third section is a VCF read in
// place of the .bed (through htslib; its genotypes are only checked to be codes), 64 with 32:
// the VCF's hard calls of GP (with 128 too: of DS), 128 with 32: its likelihood vectors
// (GL, PL or GP, the quality from R2, DR2 or INFO).  A missing covariate or weight section, or
// one that is exactly "~absent", means no such file.
//
// Each reader either throws InputError or returns; nothing else may escape.  Beyond memory
// and undefined-behaviour faults, a breach of these aborts with a message:
//  - the study's families: 1..8 children each, in .fam order, of one FID, never a parent;
//    parents of the child's FID or placeholders; covariate rows of ncov values;
//  - each marker's genotypes equal a two-bit decoding done here byte by byte;
//  - each marker's table: every kept family passes the single run's family checks, its
//    children are typed and have a parental pair that explains them; a family left out for a
//    Mendel error has none (both from a transmission table written here, not gx).

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <htslib/hts_log.h>

#include "formats/genotypes.hpp"
#include "formats/marker_families.hpp"
#include "formats/study.hpp"
#include "input/data_checks.hpp"

namespace quillon::fuzz {

[[noreturn]] inline void breach(const char* what, int line) {
    std::fprintf(stderr, "formats_case.hpp:%d: check failed: %s\n", line, what);
    std::abort();
}
#define FORMATS_REQUIRE(cond)                 \
    do {                                      \
        if (!(cond)) breach(#cond, __LINE__); \
    } while (0)

// Whether parents of genotypes f and m (copies of A1) can have a child of genotype c.
inline bool can_transmit(int f, int m, int c) {
    for (int a = 0; a <= 1; ++a)      // copies of A1 from the father
        for (int b = 0; b <= 1; ++b)  // from the mother
            if (a + b == c && (a == 1 ? f >= 1 : f <= 1) && (b == 1 ? m >= 1 : m <= 1)) return true;
    return false;
}

// Whether some parental pair agrees with the typed parents and explains every child.
inline bool explained(int father, int mother, const std::vector<int>& children) {
    for (int f = 0; f <= 2; ++f)
        for (int m = 0; m <= 2; ++m) {
            if ((father != -1 && father != f) || (mother != -1 && mother != m)) continue;
            bool all = true;
            for (int c : children) all = all && can_transmit(f, m, c);
            if (all) return true;
        }
    return false;
}

class FormatsCase {
public:
    FormatsCase() {
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                ? std::filesystem::path("/dev/shm")
                : std::filesystem::temp_directory_path();
        std::string pattern = (base / "quillon-formats-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        null_ = std::fopen("/dev/null", "w");
        if (null_ == nullptr) std::abort();
        hts_set_log_level(HTS_LOG_OFF);  // htslib's warnings about each odd VCF
    }
    ~FormatsCase() {
        std::fclose(null_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    FormatsCase(const FormatsCase&) = delete;
    FormatsCase& operator=(const FormatsCase&) = delete;

    void run(std::string_view input) {
        if (input.empty()) return;
        const unsigned flags = static_cast<unsigned char>(input[0]);
        input.remove_prefix(1);
        std::string_view s[5];
        int found = 0;
        for (; found < 5; ++found) {
            const std::size_t stop = found < 4 ? input.find("~~~") : std::string_view::npos;
            s[found] = input.substr(0, stop);
            if (stop == std::string_view::npos) {
                ++found;
                break;
            }
            input.remove_prefix(stop + 3);
        }
        const std::string prefix = dir_ + "/study";
        write(prefix + ".fam", s[0]);
        write(prefix + ".bim", s[1]);
        const std::string covar = found > 3 && s[3] != "~absent" ? prefix + ".covar" : "";
        const std::string weights = found > 4 && s[4] != "~absent" ? prefix + ".weights" : "";
        if (!covar.empty()) write(covar, s[3]);
        if (!weights.empty()) write(weights, s[4]);

        StudyOptions options;
        options.intercept = (flags & 1) == 0;
        options.all_children = (flags & 2) != 0;
        if (flags & 4) options.covar_names = {"b", "a"};
        try {
            const Study study = form_study(prefix + ".fam", covar, weights, options);
            check_study(study, options);
            const bool vcf = (flags & 32) != 0;
            std::string bed(s[2]);
            if (flags & 8 && !vcf) bed.insert(0, "\x6c\x1b\x01", 3);
            if (flags & 16 && !vcf) fit_bed_size(bed, study.people.size(), s[1]);
            write(prefix + (vcf ? ".vcf" : ".bed"), bed);
            VcfReading reading;
            if (flags & 64) reading.source = GenotypeSource::kHardCall;
            if (flags & 128) reading.source = GenotypeSource::kProbabilities;
            if ((flags & 192) == 192) {
                reading.source = GenotypeSource::kHardCall;
                reading.field = DosageField::kDs;
            }
            if (!vcf) reading = VcfReading{};  // the flags read a VCF only
            reading.quality_default = reading.source != GenotypeSource::kGt;
            auto reader = vcf ? open_vcf(prefix + ".vcf", study.people, reading) : open_bed(prefix, study.people);
            Marker m;
            MarkerFamilies table;
            const long markers = reader->marker_count();
            const auto per_marker = static_cast<std::size_t>((study.people.size() + 3) / 4);
            for (long k = 0; reader->next(m); ++k) {
                FORMATS_REQUIRE(k < markers && m.info.index == k && m.genotype.size() == study.people.size());
                for (std::int8_t g : m.genotype) FORMATS_REQUIRE(g >= -1 && g <= 2);
                if (!vcf) check_decoding(bed, 3 + static_cast<std::size_t>(k) * per_marker, m.genotype);
                if (vcf) check_uncertain(reading, m);
                if (reading.source == GenotypeSource::kProbabilities) {
                    build_marker_families(study, m.genotype, m.likelihood, m.dosage, table);
                    check_uncertain_table(study, m, table);
                    continue;
                }
                build_marker_families(study, m.genotype, table);
                check_table(study, m.genotype, table);
            }
        } catch (const InputError& e) {
            FORMATS_REQUIRE(*e.what() != '\0');
        }
    }

private:
    void write(const std::string& path, std::string_view content) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) std::abort();
        if (!content.empty() && std::fwrite(content.data(), 1, content.size(), f) != content.size()) std::abort();
        std::fclose(f);
    }

    // Cuts or pads the marker bytes to what the .bim's non-blank lines and the people need.
    static void fit_bed_size(std::string& bed, std::size_t people, std::string_view bim) {
        std::size_t markers = 0;
        bool nonblank = false;
        for (char c : bim) {
            if (c == '\n' || c == '\r') {
                markers += nonblank ? 1 : 0;
                nonblank = false;
            } else if (c != ' ' && c != '\t' && c != '\v' && c != '\f') {
                nonblank = true;
            }
        }
        markers += nonblank ? 1 : 0;
        const std::size_t want = 3 + markers * ((people + 3) / 4);
        if (want > (1u << 20)) return;
        const std::string fill = bed.size() > 3 ? bed.substr(3) : std::string("\x1b");
        while (bed.size() < want) bed += fill;
        bed.resize(want);
    }

    // Hard calls: every dosage in [0, 2] and the call its rounding gives, checked here against
    // the nearest 1/16384 computed apart; no dosage, no call.  Probabilities: a person without
    // data is (1, 1, 1) and untyped, one with data a floored vector summing to 1.
    static void check_uncertain(const VcfReading& reading, const Marker& m) {
        if (reading.source == GenotypeSource::kGt) return;
        FORMATS_REQUIRE(m.dosage.size() == m.genotype.size());
        for (std::size_t p = 0; p < m.genotype.size(); ++p) {
            const double d = m.dosage[p];
            FORMATS_REQUIRE(std::isnan(d) || (d >= 0.0 && d <= 2.0000001));
            if (reading.source == GenotypeSource::kHardCall) {
                if (std::isnan(d)) {
                    FORMATS_REQUIRE(m.genotype[p] == -1);
                    continue;
                }
                const double units = std::nearbyint(d * 16384.0 + 1e-9);
                int call = -1;
                for (int h = 0; h <= 2; ++h)
                    if (std::fabs(units - 16384.0 * h) <= reading.hard_call_threshold * 16384.0) call = h;
                FORMATS_REQUIRE(m.genotype[p] == call || std::fabs(d * 16384.0 - std::floor(d * 16384.0) - 0.5) < 1e-6);
                continue;
            }
            const auto& l = m.likelihood[p];
            if (m.genotype[p] == -1) {
                FORMATS_REQUIRE(l[0] == 1.0 && l[1] == 1.0 && l[2] == 1.0);
                continue;
            }
            for (double x : l) FORMATS_REQUIRE(x >= reading.gp_floor / 3.0 * 0.999 && x <= 1.0);
            FORMATS_REQUIRE(std::fabs(l[0] + l[1] + l[2] - 1.0) < 1e-9);
        }
    }

    static void check_uncertain_table(const Study& study, const Marker& m, const MarkerFamilies& out) {
        const FamilyTable& t = out.table;
        FORMATS_REQUIRE(static_cast<long>(out.kept.size()) == t.nfam && out.mendel.empty());
        for (long i = 1; i <= t.nfam; ++i) {
            const famdat& f = t[i];
            FORMATS_REQUIRE(f.ninfam >= 3 && f.ninfam <= maxfamilysize && f.npgeno == 9);
            FORMATS_REQUIRE(f.glik.size() == static_cast<std::size_t>(f.ninfam) + 1);
            for (int j = 1; j <= f.ninfam; ++j) {
                const long p = out.members(static_cast<std::size_t>(i - 1))[static_cast<std::size_t>(j - 1)];
                const auto& want = p < 0 ? std::array<double, 3>{1.0, 1.0, 1.0} : m.likelihood[static_cast<std::size_t>(p)];
                FORMATS_REQUIRE(f.glik[static_cast<std::size_t>(j)] == want);
                if (j >= 3) FORMATS_REQUIRE(p >= 0 && m.genotype[static_cast<std::size_t>(p)] >= 0);
            }
            FORMATS_REQUIRE(study.families[static_cast<std::size_t>(f.famid - 1)].children.size() + 2 >=
                            static_cast<std::size_t>(f.ninfam));
        }
    }

    static void check_decoding(const std::string& bed, std::size_t at, const std::vector<std::int8_t>& g) {
        for (std::size_t p = 0; p < g.size(); ++p) {
            const unsigned byte = static_cast<unsigned char>(bed[at + p / 4]);
            const unsigned bits = (byte >> (2 * (p % 4))) & 3u;
            const int expected = bits == 0 ? 2 : bits == 1 ? -1 : bits == 2 ? 1 : 0;
            FORMATS_REQUIRE(g[p] == expected);
        }
    }

    static void check_study(const Study& study, const StudyOptions& options) {
        const auto n = static_cast<long>(study.people.size());
        const std::size_t ncov = study.covariate_names.size();
        FORMATS_REQUIRE(study.covariate_rows.size() == study.people.size() * ncov &&
                        study.weight.size() == study.people.size());
        for (std::size_t p = 0; p < study.people.size(); ++p) {
            for (std::size_t k = 0; k < ncov; ++k) FORMATS_REQUIRE(std::isfinite(study.covariates(p)[k]));
            FORMATS_REQUIRE(std::isfinite(study.weight[p]));
        }
        long children = 0;
        for (const NuclearFamily& f : study.families) {
            FORMATS_REQUIRE(!f.children.empty() && f.children.size() <= 8);
            for (long parent : {f.father, f.mother}) {
                FORMATS_REQUIRE(parent >= -1 && parent < n);
                if (parent >= 0) FORMATS_REQUIRE(study.people[static_cast<std::size_t>(parent)].fid == f.fid);
            }
            FORMATS_REQUIRE(f.father < 0 || f.father != f.mother);
            for (std::size_t i = 0; i < f.children.size(); ++i) {
                const long c = f.children[i];
                FORMATS_REQUIRE(c >= 0 && c < n && c != f.father && c != f.mother);
                FORMATS_REQUIRE(i == 0 || f.children[i - 1] < c);
                const FamPerson& p = study.people[static_cast<std::size_t>(c)];
                FORMATS_REQUIRE(p.fid == f.fid && (options.all_children || p.phenotype == 2));
            }
            children += static_cast<long>(f.children.size());
        }
        FORMATS_REQUIRE(children == study.counts.children);
        FORMATS_REQUIRE(static_cast<long>(study.families.size()) == study.counts.families);
    }

    void check_table(const Study& study, const std::vector<std::int8_t>& g, MarkerFamilies& out) const {
        FamilyTable& t = out.table;  // check_families stores the pairs it finds again
        FORMATS_REQUIRE(static_cast<long>(out.kept.size()) == t.nfam &&
                        static_cast<long>(out.held.size()) >= t.nfam);
        FamilyNotes notes{lvector(1, t.nfam > 0 ? t.nfam : 1), lvector(1, t.nfam > 0 ? t.nfam : 1),
                          ivector(1, static_cast<int>(t.nfam > 0 ? t.nfam : 1))};
        for (long i = 1; i <= t.nfam; ++i) {
            const famdat& f = t[i];
            notes.size[i] = f.ninfam;
            notes.first_line[i] = i;
            notes.allele_fault[i] = 0;
            FORMATS_REQUIRE(f.famid == out.kept[static_cast<std::size_t>(i - 1)] + 1);
            FORMATS_REQUIRE(f.ninfam >= 3 && f.ninfam <= maxfamilysize);
            std::vector<int> children;
            for (int m = 1; m <= f.ninfam; ++m) {
                const long p = out.members(static_cast<std::size_t>(i - 1))[static_cast<std::size_t>(m - 1)];
                FORMATS_REQUIRE(f.famgeno[m] == (p < 0 ? -1 : g[static_cast<std::size_t>(p)]));
                FORMATS_REQUIRE(f.phenodat[m] >= 0 && f.phenodat[m] <= 2);
                if (m >= 3) {
                    FORMATS_REQUIRE(f.famgeno[m] >= 0);
                    children.push_back(f.famgeno[m]);
                }
            }
            FORMATS_REQUIRE(explained(f.famgeno[1], f.famgeno[2], children));
        }
        FORMATS_REQUIRE(check_families(t, notes, "fuzz", null_));
        for (const MendelError& e : out.mendel) {
            const NuclearFamily& nf = study.families[static_cast<std::size_t>(e.family)];
            const auto geno = [&](long p) { return p < 0 ? -1 : static_cast<int>(g[static_cast<std::size_t>(p)]); };
            std::vector<int> children;
            for (long c : e.children) {
                FORMATS_REQUIRE(geno(c) >= 0);
                children.push_back(geno(c));
            }
            FORMATS_REQUIRE(!children.empty() && !explained(geno(nf.father), geno(nf.mother), children));
        }
    }

    std::string dir_;
    std::FILE* null_ = nullptr;
};

}  // namespace quillon::fuzz
