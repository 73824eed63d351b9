#include "simulate/marker_study.hpp"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <algorithm>
#include <array>
#include <vector>

#include "formats/bed_codes.hpp"
#include "formats/staged_file.hpp"
#include "genetics/x_inheritance.hpp"
#include "io/progress.hpp"
#include "simulate/imputation.hpp"
#include "toolkit/random.hpp"

namespace quillon {

namespace {

constexpr int kXCode = 23;
constexpr double kMaxPedGenotypes = 2147483648.0;  // 2 GB of genotypes held for a .ped
constexpr const char kAlleles[6][2] = {{'A', 'G'}, {'C', 'T'}, {'A', 'C'}, {'G', 'T'}, {'A', 'T'}, {'C', 'G'}};

// ran2's seed for `stream` of the run's seed: a splitmix64 mix of the two, as idum in
// -2147483646..-1 (ran2 reinitialises on idum <= 0).
long stream_seed(long seed, long stream) {
    const std::uint64_t s = seed == 0 ? 1u : static_cast<std::uint64_t>(seed < 0 ? -seed : seed);
    std::uint64_t z = s * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(stream);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return -static_cast<long>(1 + z % 2147483646u);
}

// ---------------------------------------------------------------------------------------
// The .fam layout of the drawn families.

struct Person {
    long family = 0;  // 1..nfam
    int member = 0;   // drawn member index 1..ninfam
    std::string iid, father, mother;
    int sex = 0, pheno = 0;
    bool in_vcf = true;  // false for a listed parent who is untyped at every marker
};

// A drawn member at each marker.
struct Member {
    long person = -1;      // index into people, -1 when absent from the .fam
    bool typed = true;     // false: an untyped parent
    bool child = false;
    bool mendel_only = false;  // unaffected child: drawn without the relative risks
    int sex = 0;               // a child's drawn sex (1 son, 2 daughter)
    double nu1 = 1.0, nu2 = 1.0;
};

struct Layout {
    std::vector<Person> people;                // .fam order
    std::vector<std::vector<Member>> members;  // [k - 1][j - 1]
};

Layout make_layout(const SimulateOptions& o, const SimulatedStudy& study) {
    DVector b1;
    DVector b2;
    expand_coefficients(o, b1, b2);
    long idum = stream_seed(o.seed, 0);
    Layout layout;
    layout.members.resize(static_cast<std::size_t>(study.nfam));
    for (long k = 1; k <= study.nfam; ++k) {
        const SimFamily& fam = study.fam[k];
        const int n = fam.ninfam;
        const bool father_typed = fam.allele1[1] != 0;
        const bool mother_typed = fam.allele1[2] != 0;
        const bool exchange = ran2(&idum) < o.father_only && !father_typed && mother_typed;
        std::vector<Member>& members = layout.members[static_cast<std::size_t>(k - 1)];
        members.resize(static_cast<std::size_t>(n));
        const std::string fid = std::to_string(k);
        auto iid = [&](int j) { return fid + "-" + std::to_string(j); };

        // Parents by .fam role: role 1 father, role 2 mother; drawn member of each role.
        const int drawn[3] = {0, exchange ? 2 : 1, exchange ? 1 : 2};
        enum Style { kListed, kAbsent, kListedUntyped, kZero };
        Style style[3] = {kListed, kListed, kListed};
        for (int role = 1; role <= 2; ++role) {
            if (fam.allele1[drawn[role]] != 0) continue;
            const int s = static_cast<int>((k + role) % 3);
            style[role] = s == 0 ? kAbsent : (s == 1 ? kListedUntyped : kZero);
        }
        if (style[1] == kZero && style[2] == kZero) style[2] = kAbsent;

        std::vector<Person> parents, children;
        for (int role = 1; role <= 2; ++role) {
            Member& m = members[static_cast<std::size_t>(drawn[role] - 1)];
            m.typed = style[role] == kListed;
            if (style[role] == kListed || style[role] == kListedUntyped) {
                Person p;
                p.family = k;
                p.member = drawn[role];
                p.iid = iid(role);
                p.father = p.mother = "0";
                p.sex = role;
                p.pheno = fam.pheno[drawn[role]];
                p.in_vcf = style[role] == kListed;
                parents.push_back(p);
            }
        }
        for (int j = 1; j <= n; ++j) {
            const bool unaffected = ran2(&idum) < o.unaffected_children;
            if (j < 3) continue;
            Member& m = members[static_cast<std::size_t>(j - 1)];
            m.child = true;
            m.sex = fam.sex[j];
            Person p;
            p.family = k;
            p.member = j;
            p.iid = iid(j);
            p.father = style[1] == kZero ? "0" : iid(1);
            p.mother = style[2] == kZero ? "0" : iid(2);
            p.sex = fam.sex[j];
            p.pheno = fam.pheno[j] == 2 && unaffected ? 1 : fam.pheno[j];
            m.mendel_only = p.pheno == 1;
            // nu1 = exp(b1.x), nu2 = exp(b2.x), each sum from 0.0 in column order.
            double s1 = 0.0;
            double s2 = 0.0;
            for (int i = 1; i <= study.ncov; ++i) {
                s1 += b1[i] * fam.covars[j][i];
                s2 += b2[i] * fam.covars[j][i];
            }
            m.nu1 = std::exp(s1);
            m.nu2 = std::exp(s2);
            children.push_back(p);
        }
        if (k % 4 == 3) std::swap(parents, children);
        for (const std::vector<Person>* group : {&parents, &children})
            for (const Person& p : *group) {
                members[static_cast<std::size_t>(p.member - 1)].person = static_cast<long>(layout.people.size());
                layout.people.push_back(p);
            }
    }
    return layout;
}

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string fam_line(const Person& p) {
    return std::to_string(p.family) + ' ' + p.iid + ' ' + p.father + ' ' + p.mother + ' ' + std::to_string(p.sex) + ' ' +
           (p.pheno == 0 ? "-9" : std::to_string(p.pheno));
}

void write_fam(const Layout& layout, StagedFile& f) {
    for (const Person& p : layout.people) f.write(fam_line(p) + '\n');
}

// The .ped from every marker's genotypes, genotype[(m - 1) * people + p].
void write_ped(const Layout& layout, const std::vector<std::int8_t>& genotype, long markers, StagedFile& f) {
    const std::size_t people = layout.people.size();
    for (std::size_t p = 0; p < people; ++p) {
        std::string line = fam_line(layout.people[p]);
        for (long m = 1; m <= markers; ++m) {
            const int g = genotype[static_cast<std::size_t>(m - 1) * people + p];
            const char* pair = kAlleles[(m - 1) % 6];
            const char text[5] = {' ', g < 0 ? '0' : pair[g == 2], ' ', g < 0 ? '0' : pair[g >= 1], '\0'};
            line += text;
        }
        f.write(line + '\n');
    }
}

// Covariate columns without the intercept column, named X1, X2, ..., then the group's label.
void write_covariates(const SimulateOptions& o, const SimulatedStudy& study, const Layout& layout, StagedFile& f) {
    std::string line = "FID IID";
    for (int i = o.intercept ? 2 : 1, c = 1; i <= study.ncov; ++i, ++c) line += " X" + std::to_string(c);
    if (!o.groups.empty()) line += ' ' + o.group_column;
    f.write(line + '\n');
    for (const Person& p : layout.people) {
        line = std::to_string(p.family) + ' ' + p.iid;
        for (int i = o.intercept ? 2 : 1; i <= study.ncov; ++i)
            line += ' ' + formatted("%.6f", study.fam[p.family].covars[p.member][i]);
        if (!o.groups.empty()) line += ' ' + o.groups[static_cast<std::size_t>(study.fam[p.family].group - 1)].name;
        f.write(line + '\n');
    }
}

void write_weights(const SimulatedStudy& study, const Layout& layout, StagedFile& f) {
    f.write("FID IID WEIGHT\n");
    for (const Person& p : layout.people)
        f.write(std::to_string(p.family) + ' ' + p.iid + ' ' +
                (study.random_weights ? formatted("%.6f", study.fam[p.family].weight[p.member]) : "1") + '\n');
}

void write_vcf_header(const SimulateOptions& o, const Layout& layout, StagedFile& f) {
    std::string text = "##fileformat=VCFv4.2\n##source=quillon-simulate\n";
    for (int c = 1; c <= o.chromosomes; ++c) text += "##contig=<ID=" + std::to_string(c) + ">\n";
    if (o.x_markers > 0) text += "##contig=<ID=" + std::to_string(kXCode) + ">\n";
    if (!o.imputed_r2.empty())
        text += "##INFO=<ID=AF,Number=A,Type=Float,Description=\"Estimated ALT frequency\">\n"
                "##INFO=<ID=R2,Number=1,Type=Float,Description=\"Estimated imputation accuracy\">\n";
    text += "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n";
    if (!o.imputed_r2.empty())
        text += "##FORMAT=<ID=DS,Number=A,Type=Float,Description=\"ALT dosage\">\n"
                "##FORMAT=<ID=GP,Number=G,Type=Float,Description=\"Genotype probabilities\">\n";
    text += "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
    for (const Person& p : layout.people)
        if (p.in_vcf) text += '\t' + p.iid;
    f.write(text + '\n');
}

// ---------------------------------------------------------------------------------------
// One marker.

struct MarkerRecord {
    std::string chr, id;
    long bp = 0;
    char allele1 = 'A', allele2 = 'G';  // allele 2 is counted
    bool effect = false;
    double alt_freq = 0.0;  // the allele-2 frequency the parents were drawn at
};

// Imputation streams lie beyond every marker's.
constexpr long kImputationStreams = 1L << 40;

// Draws marker m (1-based) into genotype[person] (-1 untyped); false with a message when a
// child's genotype probabilities are not finite.
// truth[k - 1][j - 1] receives member j's genotype before typing and errors.
bool draw_marker(const SimulateOptions& o, const SimulatedStudy& study, const Layout& layout, long m,
                 std::vector<std::int8_t>& genotype, MarkerRecord& record,
                 std::vector<std::vector<std::int8_t>>& truth, std::string& error) {
    long idum = stream_seed(o.seed, m);
    const double u_freq = ran2(&idum);
    const double u_effect = ran2(&idum);
    const bool on_x = m > o.markers - o.x_markers;
    record.effect = u_effect < o.effect_share;
    double gamma1 = o.gamma1;
    double gamma2 = o.gamma2;
    if (o.allele_freq_given) {
        const double p = o.freq_lo + (o.freq_hi - o.freq_lo) * u_freq;
        gamma1 = 2.0 * p * (1.0 - p);  // Hardy-Weinberg
        gamma2 = p * p;
    }
    const double gamma0 = (1.0 - gamma1) - gamma2;
    record.alt_freq = gamma1 / 2.0 + gamma2;
    truth.resize(static_cast<std::size_t>(study.nfam));
    // Each group's prevalences (gamma0, gamma1, gamma2) at this marker.
    std::vector<std::array<double, 3>> group_gamma(o.groups.size());
    for (std::size_t g = 0; g < o.groups.size(); ++g) {
        group_prevalences(o.groups[g], record.alt_freq, group_gamma[g][1], group_gamma[g][2]);
        group_gamma[g][0] = (1.0 - group_gamma[g][1]) - group_gamma[g][2];
    }

    for (long k = 1; k <= study.nfam; ++k) {
        const std::vector<Member>& members = layout.members[static_cast<std::size_t>(k - 1)];
        const int group = study.fam[k].group;
        const std::array<double, 3> gamma =
            group > 0 ? group_gamma[static_cast<std::size_t>(group - 1)] : std::array<double, 3>{gamma0, gamma1, gamma2};
        int parent[2] = {0, 0};
        truth[static_cast<std::size_t>(k - 1)].resize(members.size());
        for (int j = 1; j <= static_cast<int>(members.size()); ++j) {
            const Member& mem = members[static_cast<std::size_t>(j - 1)];
            const double u_geno = ran2(&idum);
            const double u_untyped = ran2(&idum);
            const double u_error = ran2(&idum);
            const double u_kind = ran2(&idum);
            int g = 0;
            const bool male_on_x = on_x && (mem.child ? mem.sex == 1 : j == 1);
            if (!mem.child) {
                g = parent[j - 1] = on_x && j == 1 ? draw_x_father(u_geno, gamma[1], gamma[2])
                                                   : draw_founder_genotype(u_geno, gamma[0], gamma[1]);
            } else {
                const bool tilted = record.effect && !mem.mendel_only;
                const double nu1 = tilted ? mem.nu1 : 1.0, nu2 = tilted ? mem.nu2 : 1.0;
                g = on_x ? draw_x_child(mem.sex, parent[0], parent[1], nu1, nu2, o.xchr_model, u_geno)
                         : draw_child_genotype(parent[0], parent[1], nu1, nu2, u_geno);
                if (g < 0) {
                    error = "family " + std::to_string(k) + " member " + std::to_string(j) + " marker snp" +
                            std::to_string(m) + ": the relative risks give no genotype distribution; use smaller coefficients";
                    return false;
                }
            }
            truth[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(j - 1)] = static_cast<std::int8_t>(g);
            const bool typed = mem.typed && !(mem.child && u_untyped < o.untyped_children);
            if (male_on_x) {  // his allele written homozygous; an error gives the other, or a het call
                if (typed && u_error < o.genotype_errors) g = 1 - g;
                g = typed && u_error >= o.genotype_errors && u_kind < o.male_het_errors ? 1 : 2 * g;
            } else if (typed && u_error < o.genotype_errors) {
                g = (g + (u_kind < 0.5 ? 1 : 2)) % 3;
            }
            if (mem.person >= 0) genotype[static_cast<std::size_t>(mem.person)] = static_cast<std::int8_t>(typed ? g : -1);
        }
    }

    const long autosomal = o.markers - o.x_markers;
    record.chr = std::to_string(on_x ? kXCode : static_cast<int>(((m - 1) * o.chromosomes) / autosomal + 1));
    record.id = "snp" + std::to_string(m);
    record.allele1 = kAlleles[(m - 1) % 6][0];
    record.allele2 = kAlleles[(m - 1) % 6][1];
    return true;
}

// SNP-major .bed bytes of one marker (formats/bed_codes.hpp), A1 = allele 2.
void append_bed(const std::vector<std::int8_t>& genotype, std::vector<unsigned char>& bytes) {
    bytes.assign((genotype.size() + 3) / 4, 0);
    for (std::size_t p = 0; p < genotype.size(); ++p) {
        const unsigned char code = genotype[p] < 0 ? kBedMissing : kBedCode[genotype[p]];
        bytes[p / 4] = static_cast<unsigned char>(bytes[p / 4] | code << (2 * (p % 4)));
    }
}

// On X a male's call is haploid ("0", "1", "."), but a heterozygous one.
std::string vcf_line(const MarkerRecord& r, const Layout& layout, const std::vector<std::int8_t>& genotype) {
    static constexpr const char* kGt[4] = {"./.", "0/0", "0/1", "1/1"};
    static constexpr const char* kHaploid[4] = {".", "0", "0/1", "1"};
    const bool on_x = r.chr == std::to_string(kXCode);
    std::string line = r.chr + '\t' + std::to_string(r.bp) + '\t' + r.id + '\t' + r.allele1 + '\t' + r.allele2 +
                       "\t.\tPASS\t.\tGT";
    for (std::size_t p = 0; p < genotype.size(); ++p)
        if (layout.people[p].in_vcf)
            (line += '\t') += (on_x && layout.people[p].sex == 1 ? kHaploid : kGt)[genotype[p] + 1];
    return line + '\n';
}

// The record of an imputed-like marker: each typed person's GP and DS from the true
// genotypes (3 decimals, as imputation servers write them), GT the most probable genotype of
// the written GP, INFO/AF and INFO/R2 estimated from the written dosages (MaCH's ratio of
// their variance to the binomial one).
std::string imputed_vcf_line(const SimulateOptions& o, const MarkerRecord& r, const Layout& layout, long m,
                             const std::vector<std::int8_t>& genotype,
                             const std::vector<std::vector<std::int8_t>>& truth) {
    const double target = o.imputed_r2[static_cast<std::size_t>(m - 1) % o.imputed_r2.size()];
    const double p = std::min(std::max(r.alt_freq, 1e-4), 1.0 - 1e-4);
    const double sigma = noise_for_r2(target, p);
    long idum = stream_seed(o.seed, kImputationStreams + m);
    std::vector<std::vector<std::array<double, 3>>> gp(truth.size());
    for (std::size_t k = 0; k < truth.size(); ++k) impute_family(truth[k], p, sigma, o.shared_error, &idum, gp[k]);
    static constexpr const char* kGt[3] = {"0/0", "0/1", "1/1"};
    std::string samples;
    double sum = 0.0, squares = 0.0;
    long n = 0;
    char text[96];
    for (std::size_t q = 0; q < genotype.size(); ++q) {
        const Person& person = layout.people[q];
        if (!person.in_vcf) continue;
        if (genotype[q] < 0) {
            samples += "\t./.:.:.";
            continue;
        }
        const auto& v = gp[static_cast<std::size_t>(person.family - 1)][static_cast<std::size_t>(person.member - 1)];
        double w[3];
        for (int g = 0; g < 3; ++g) w[g] = std::round(v[static_cast<std::size_t>(g)] * 1000.0) / 1000.0;
        const int best = w[2] > w[1] && w[2] > w[0] ? 2 : (w[1] > w[0] ? 1 : 0);
        const double ds = std::round((v[1] + 2.0 * v[2]) * 1000.0) / 1000.0;
        std::snprintf(text, sizeof text, "\t%s:%.3f:%.3f,%.3f,%.3f", kGt[best], ds, w[0], w[1], w[2]);
        samples += text;
        sum += ds;
        squares += ds * ds;
        ++n;
    }
    const double af = n > 0 ? sum / (2.0 * n) : 0.0;
    const double variance = n > 0 ? squares / n - 4.0 * af * af : 0.0;
    const double r2 = af > 0.0 && af < 1.0 ? std::max(0.0, variance / (2.0 * af * (1.0 - af))) : 0.0;
    std::snprintf(text, sizeof text, "\t.\tPASS\tAF=%.4f;R2=%.4f\tGT:DS:GP", af, r2);
    return r.chr + '\t' + std::to_string(r.bp) + '\t' + r.id + '\t' + r.allele1 + '\t' + r.allele2 + text + samples +
           '\n';
}

// The files of `o` for the drawn markers; throws OutputError.
bool write_files(const SimulateOptions& o, const SimulatedStudy& study, const Layout& layout, std::string& error) {
    // Every file to write, opened before any marker is drawn.
    std::vector<std::unique_ptr<StagedFile>> files;
    auto open = [&](const std::string& path, bool bgzf) -> StagedFile* {
        if (path.empty()) return nullptr;
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        std::error_code ec;
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        files.push_back(std::make_unique<StagedFile>(path, bgzf && path.ends_with(".gz")));
        return files.back().get();
    };
    const bool bfile = !o.bfile.empty();
    StagedFile* bed = open(bfile ? o.bfile + ".bed" : "", false);
    StagedFile* bim = open(bfile ? o.bfile + ".bim" : "", false);
    StagedFile* fam = open(bfile ? o.bfile + ".fam" : "", false);
    StagedFile* ped = open(o.file.empty() ? "" : o.file + ".ped", false);
    StagedFile* map = open(o.file.empty() ? "" : o.file + ".map", false);
    StagedFile* vcf = open(o.vcf, true);
    StagedFile* covar = open(o.covar, false);
    StagedFile* weights = open(o.weight_file, false);
    StagedFile* effects = open(o.effects, false);

    if (fam != nullptr) write_fam(layout, *fam);
    if (covar != nullptr) write_covariates(o, study, layout, *covar);
    if (weights != nullptr) write_weights(study, layout, *weights);
    if (vcf != nullptr) write_vcf_header(o, layout, *vcf);
    if (bed != nullptr) {
        bed->write(kBedMagic, sizeof kBedMagic);
        bed->write(&kBedSnpMajor, 1);
    }

    std::vector<std::int8_t> genotype(layout.people.size(), -1);
    std::vector<std::int8_t> every_genotype;  // the .ped is person-major: all markers are kept
    if (ped != nullptr) every_genotype.reserve(static_cast<std::size_t>(o.markers) * genotype.size());
    std::vector<unsigned char> bytes;
    MarkerRecord record;
    std::vector<std::vector<std::int8_t>> truth;
    std::string last_chr;
    long position = 0;
    Progress progress(o.markers, true);
    for (long m = 1; m <= o.markers; ++m) {
        progress.update(m - 1);
        if (!draw_marker(o, study, layout, m, genotype, record, truth, error)) return false;
        position = record.chr == last_chr ? position + 1 : 1;
        last_chr = record.chr;
        record.bp = 10000 * position;
        if (bim != nullptr)
            bim->write(record.chr + '\t' + record.id + "\t0\t" + std::to_string(record.bp) + '\t' + record.allele2 +
                       '\t' + record.allele1 + '\n');
        if (bed != nullptr) {
            append_bed(genotype, bytes);
            bed->write(bytes.data(), bytes.size());
        }
        if (map != nullptr) map->write(record.chr + ' ' + record.id + " 0 " + std::to_string(record.bp) + '\n');
        if (ped != nullptr) every_genotype.insert(every_genotype.end(), genotype.begin(), genotype.end());
        if (vcf != nullptr)
            vcf->write(o.imputed_r2.empty() ? vcf_line(record, layout, genotype)
                                            : imputed_vcf_line(o, record, layout, m, genotype, truth));
        if (effects != nullptr && record.effect) effects->write(record.id + '\n');
    }
    progress.finish();

    if (ped != nullptr) write_ped(layout, every_genotype, o.markers, *ped);
    for (const auto& f : files) f->close();
    for (const auto& f : files) f->commit();
    return true;
}

}  // namespace

bool write_marker_study(const SimulateOptions& o, const SimulatedStudy& study, std::string& error) {
    const Layout layout = make_layout(o, study);
    const double people = static_cast<double>(layout.people.size());
    if (!o.file.empty() && static_cast<double>(o.markers) * people > kMaxPedGenotypes) {
        error = "--file: " + std::to_string(o.markers) + " markers of " + std::to_string(layout.people.size()) +
                " people are too many genotypes to hold for a .ped; use --bfile";
        return false;
    }
    try {
        return write_files(o, study, layout, error);
    } catch (const OutputError& e) {
        error = e.what();
        return false;
    }
}

}  // namespace quillon
