#include "scan/ssf_writer.hpp"

#include <stdio.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "formats/genotypes.hpp"
#include "method/tail_probabilities.hpp"
#include "quillon_version.hpp"

namespace quillon {

namespace {

constexpr const char* kNA = "#NA";
constexpr int kFieldsBeforeP = 7;


bool nucleotides(std::string_view allele) {
    return !allele.empty() && allele.find_first_not_of("ACGT") == std::string_view::npos;
}

bool rs_number(std::string_view id) {
    return id.size() > 2 && id.starts_with("rs") && id.find_first_not_of("0123456789", 2) == std::string_view::npos;
}

// A YAML scalar in single quotes.
std::string quoted(const std::string& text) {
    std::string q = "'";
    for (const char c : text) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

struct LineBuffer {
    char* data = nullptr;
    std::size_t capacity = 0;
    LineBuffer() = default;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() { std::free(data); }
};

}  // namespace

int ssf_chromosome(const std::string& chr) {
    std::string code = chromosome_code(chr);
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (code == "par1" || code == "par2" || code == "par") return 23;
    int value = 0;
    const auto r = std::from_chars(code.data(), code.data() + code.size(), value);
    if (r.ec != std::errc() || r.ptr != code.data() + code.size() || value < 1 || value > 26) return 0;
    return value == 25 ? 23 : value == 26 ? 25 : value;
}

SsfWriter::SsfWriter(const Schema& schema, SsfDescription d, std::string path)
    : d_(std::move(d)), path_(std::move(path)), scratch_(nullptr, std::fclose) {
    const auto find = [&schema](const std::string& name, std::size_t& at) {
        for (std::size_t c = 0; c < schema.size(); ++c)
            if (schema[c].name == name) {
                at = c;
                return true;
            }
        return false;
    };
    if (!find(d_.term, beta_) || schema[beta_].kind != ColumnKind::kEstimate || !find(d_.term + "_SE", se_)) {
        std::string names;
        for (const Column& c : schema)
            if (c.kind == ColumnKind::kEstimate) names += (names.empty() ? "" : ", ") + c.name;
        throw std::invalid_argument("--ssf " + d_.term + ": not a coefficient column; the coefficients are " +
                                    (names.empty() ? "none" : names));
    }
    has_p_ = find(d_.term + "_P", p_);
    scratch_.reset(std::tmpfile());
    if (!scratch_) throw OutputError("cannot create a temporary file for " + path_ + ": " + std::strerror(errno));
}

void SsfWriter::add(const RowMarker& m, const RowCounts& counts, const MarkerResult* r) {
    const double beta = r == nullptr || r->failed() ? NAN : r->values[beta_];
    const double se = std::isnan(beta) ? NAN : r->values[se_];
    const int chr = ssf_chromosome(std::string(m.chr));
    if (std::isnan(beta) || std::isnan(se)) {
        ++tally_.no_term;
        return;
    }
    if (!nucleotides(m.a1) || !nucleotides(m.a2)) {
        ++tally_.alleles;
        return;
    }
    if (chr == 0 || m.bp < 1) {
        ++tally_.chromosome;
        return;
    }
    const std::string code = std::to_string(chr), bp = std::to_string(m.bp);
    if (const std::string fault = order_.check(code, m.bp, std::string(m.id)); !fault.empty())
        throw InputError("--ssf needs each chromosome's markers together, in order of position: " + fault);
    const double p = has_p_ ? r->values[p_] : normal_two_sided(beta / se);
    tally_.underflow = tally_.underflow || p == 0;
    line_ = code + '\t' + bp + '\t';
    line_.append(m.a1).append(1, '\t').append(m.a2).append(1, '\t');
    append_number(line_, beta, kNA);
    line_ += '\t';
    append_number(line_, se, kNA);
    line_ += '\t';
    append_number(line_, m.a1_freq, kNA);
    line_ += '\t';
    append_number(line_, p, kNA);
    line_ += '\t';
    append_number(line_, p > 0 ? -std::log10(p) : normal_two_sided_log10(beta / se), kNA);
    line_ += '\t' + code + '_' + bp + '_';
    line_.append(m.a2).append(1, '_').append(m.a1).append(1, '\t');
    line_.append(rs_number(m.id) ? m.id : std::string_view(kNA)).append(1, '\t');
    line_ += std::to_string(counts.children) + '\n';
    if (std::fwrite(line_.data(), 1, line_.size(), scratch_.get()) != line_.size())
        throw OutputError("cannot write a temporary file for " + path_ + ": " + std::strerror(errno));
    ++tally_.rows;
    tally_.largest_n = std::max(tally_.largest_n, counts.children);
}

void SsfWriter::close() {
    data_ = std::make_unique<StagedFile>(path_, true);
    data_->write(std::string("chromosome\tbase_pair_location\teffect_allele\tother_allele\tbeta\tstandard_error\t"
                             "effect_allele_frequency\t") +
                 (tally_.underflow ? "neg_log_10_p_value" : "p_value") + "\tvariant_id\trsid\tn\n");
    if (std::fflush(scratch_.get()) != 0 || std::fseek(scratch_.get(), 0, SEEK_SET) != 0)
        throw OutputError("cannot read a temporary file for " + path_ + ": " + std::strerror(errno));
    LineBuffer buffer;
    for (ssize_t n; (n = ::getline(&buffer.data, &buffer.capacity, scratch_.get())) > 0;) {
        // Keep the fields before the two p-value forms, one of them, and the fields after.
        const std::string_view line(buffer.data, static_cast<std::size_t>(n));
        std::size_t at = 0;
        for (int f = 0; f < kFieldsBeforeP; ++f) at = line.find('\t', at) + 1;
        const std::size_t p_end = line.find('\t', at), log_end = line.find('\t', p_end + 1);
        data_->write(line.substr(0, at));
        data_->write(tally_.underflow ? line.substr(p_end + 1, log_end - p_end - 1) : line.substr(at, p_end - at));
        data_->write(line.substr(log_end));
    }
    if (std::ferror(scratch_.get()))
        throw OutputError("cannot read a temporary file for " + path_ + ": " + std::strerror(errno));
    data_->close();
    data_->build_index(TabixColumns{1, 2, 2, 1});

    const std::size_t slash = path_.rfind('/');
    const std::string n = std::to_string(tally_.largest_n);
    std::string yaml = "# Summary statistics written by quillon scan; replace the FILL IN placeholders.\n";
    yaml += "data_file_name: " + quoted(path_.substr(slash == std::string::npos ? 0 : slash + 1)) + "\n";
    yaml += "file_type: GWAS-SSF v1.0\n";
    yaml += "data_file_md5sum: " + data_->md5() + "\n";
    yaml += "genome_assembly: " + d_.genome_assembly + "\n";
    yaml += "coordinate_system: 1-based\nis_sorted: true\nis_harmonised: false\n";
    yaml += "sample_size: " + n + "\n";
    yaml += std::string("analysis_software: 'quillon ") + QUILLON_VERSION + "'\n";
    yaml += "trait_description:\n  - FILL IN\ngenotyping_technology:\n  - FILL IN\n";
    yaml += "samples:\n  - sample_size: " + n + "\n    sample_ancestry:\n      - FILL IN\n"
            "    ancestry_method:\n      - FILL IN\n";
    yaml += "effect_statistic: beta\n";
    yaml += "status_model: " + d_.status_model + "\ncovariate_model: " + d_.covariate_model + "\ncovariates:";
    for (const std::string& c : d_.covariates) yaml += "\n  - " + quoted(c);
    yaml += d_.covariates.empty() ? " []\n" : "\n";
    yaml += "term: " + quoted(d_.term) + "\n";
    meta_ = std::make_unique<PendingFile>(path_ + "-meta.yaml");
    meta_->write(yaml);
    meta_->close();
}

void SsfWriter::commit() {
    data_->commit();
    meta_->commit();
}

}  // namespace quillon
