// VCF and BCF files (plain or bgzipped) through htslib, a record at a time.

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/vcf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "formats/dosage.hpp"
#include "formats/genotypes.hpp"

namespace quillon {

namespace {

struct HtsClose {
    void operator()(htsFile* f) const { hts_close(f); }
};
struct HeaderDestroy {
    void operator()(bcf_hdr_t* h) const { bcf_hdr_destroy(h); }
};
struct RecordDestroy {
    void operator()(bcf1_t* r) const { bcf_destroy(r); }
};

class VcfReader final : public GenotypeReader {
public:
    VcfReader(const std::string& path, const std::vector<FamPerson>& people, const VcfReading& reading);
    ~VcfReader() override {
        std::free(gt_);
        std::free(values_);
        std::free(counts_);
    }
    VcfReader(const VcfReader&) = delete;
    VcfReader& operator=(const VcfReader&) = delete;

    long marker_count() const override { return markers_; }
    bool next(Marker& m) override;
    void seek(long index) override;

private:
    void refuse_stream() const;    // a pipe or device cannot be read twice
    void open();                   // (re)opens the file and reads its header
    bool read_record(long index);  // false at the end
    void decode(Marker& m);
    void check_fields();  // the header declares what `reading_` reads
    bool declared(int line_type, const char* tag) const;
    std::string where(const Marker& m) const;
    // The values of FORMAT field `tag` in the record, as doubles (NaN missing), `stride` per
    // sample; false when the record lacks the field.
    bool format_values(const Marker& m, const char* tag, bool integer, std::vector<double>& out, int& stride);
    double info_value(const char* tag);  // NaN when absent or missing
    void decode_dosages(Marker& m);
    void decode_probabilities(Marker& m);

    std::string path_;
    VcfReading reading_;
    std::string first_marker_;            // "1 (rs1)", for the header's faults
    std::string quality_;                 // the INFO field of the quality, or none
    bool af_ = false;                     // INFO/AF declared
    std::vector<char> male_;              // per VCF sample
    std::vector<char> haploid_;           // per VCF sample: a haploid GT at this record
    std::vector<double> field_;           // a FORMAT field's values
    std::vector<int> present_;            // per sample: its values before the vector's end
    float* values_ = nullptr;             // htslib's float buffer (malloc'd)
    int values_size_ = 0;
    int32_t* counts_ = nullptr;           // htslib's integer buffer (malloc'd)
    int counts_size_ = 0;
    std::size_t people_ = 0;
    std::unique_ptr<htsFile, HtsClose> file_;
    std::unique_ptr<bcf_hdr_t, HeaderDestroy> header_;
    std::unique_ptr<bcf1_t, RecordDestroy> record_{bcf_init()};
    std::vector<long> person_of_sample_;  // per VCF sample, its index in the .fam
    int32_t* gt_ = nullptr;               // htslib's GT buffer (malloc'd), grown by bcf_get_genotypes
    int gt_size_ = 0;
    long markers_ = 0;
    long next_ = 0;
};

namespace {
// A sample named FID_IID, as PLINK names them, whose parts are a .fam person's: the hint.
std::string fid_iid_hint(const std::string& name, const std::vector<FamPerson>& people) {
    for (const FamPerson& p : people)
        if (name == p.fid + "_" + p.iid)
            return "  The samples look named FID_IID, as PLINK names them (" + name + " is FID " + p.fid + ", IID " +
                   p.iid + "): rename them to the IIDs (bcftools reheader --samples), or write the VCF with PLINK's "
                   "--recode vcf-iid; a fileset read in with --double-id or --const-fid has other IIDs.";
    return "";
}
}  // namespace

VcfReader::VcfReader(const std::string& path, const std::vector<FamPerson>& people, const VcfReading& reading)
    : path_(path), reading_(reading), people_(people.size()) {
    if (!record_) throw InputError("Cannot read " + path_ + ": out of memory.");
    refuse_stream();
    open();
    // The .fam's IIDs; an IID under two FIDs cannot be matched (-1).
    std::unordered_map<std::string, long> by_iid;
    for (std::size_t p = 0; p < people.size(); ++p) {
        const auto [it, inserted] = by_iid.emplace(people[p].iid, static_cast<long>(p));
        if (!inserted) it->second = -1;
    }
    const int n = bcf_hdr_nsamples(header_.get());
    std::vector<char> matched(people.size(), 0);
    for (int s = 0; s < n; ++s) {
        const std::string name = header_->samples[s];
        const auto it = by_iid.find(name);
        const std::string where =
            path_ + ": sample " + name + " (sample column " + std::to_string(s + 1) + " of the #CHROM line) ";
        if (it == by_iid.end()) throw InputError(where + "is not an IID of the .fam." + fid_iid_hint(name, people));
        if (it->second < 0) throw InputError(where + "is an IID the .fam gives under more than one FID.");
        const auto p = static_cast<std::size_t>(it->second);
        if (matched[p]) throw InputError(where + "appears twice.");
        matched[p] = 1;
        person_of_sample_.push_back(it->second);
        male_.push_back(people[p].sex == 1 ? 1 : 0);
    }
    haploid_.assign(static_cast<std::size_t>(n), 0);
    in_file_ = std::move(matched);
    // The marker count, by a first pass over the records.  A compressed file without its
    // end-of-file block was cut short: refused, naming the last marker it holds.
    const htsFormat* format = hts_get_format(file_.get());
    const bool cut = format->compression == bgzf && file_->is_bgzf && bgzf_check_EOF(file_->fp.bgzf) == 0;
    std::string last = "none";
    while (read_record(markers_)) {
        const char* contig = bcf_hdr_id2name(header_.get(), record_->rid);
        if (contig != nullptr && chromosome_class(contig) == ChromosomeClass::kX)
            x_places_.push_back({markers_, static_cast<long>(record_->pos) + 1});
        ++markers_;
        if (markers_ == 1 && bcf_unpack(record_.get(), BCF_UN_STR) == 0)
            first_marker_ = "1 (" + std::string(record_->d.id != nullptr ? record_->d.id : ".") + ")";
        if (cut && bcf_unpack(record_.get(), BCF_UN_STR) == 0)
            last = std::to_string(markers_) + " (" + (record_->d.id != nullptr ? record_->d.id : ".") + ")";
    }
    if (cut)
        throw InputError(path_ + " is truncated: the compressed file ends without its end-of-file block; the last "
                                 "marker read is " + last + ".");
    open();
    check_fields();
}

void VcfReader::refuse_stream() const {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return;  // open() says why
    throw InputError(path_ + " is a pipe or a device, not a file: the scan reads the VCF twice (once to count its "
                             "markers). Write it to a file first (for example bcftools view -Ob -o study.bcf) and "
                             "give that file.");
}

void VcfReader::open() {
    header_.reset();
    errno = 0;
    file_.reset(hts_open(path_.c_str(), "r"));
    if (!file_) throw InputError("Cannot open " + path_ + ": " + std::strerror(errno != 0 ? errno : EIO));
    const htsFormat* format = hts_get_format(file_.get());
    if (format->category != variant_data) throw InputError(path_ + " is not a VCF or BCF file.");
    header_.reset(bcf_hdr_read(file_.get()));
    if (!header_) throw InputError(path_ + ": its header cannot be read (not a valid VCF or BCF header).");
}

bool VcfReader::read_record(long index) {
    const int r = bcf_read(file_.get(), header_.get(), record_.get());
    if (r == -1) return false;
    // htslib takes a line cut before its REF as a record without alleles.  A contig or tag
    // missing from the header is not an error: htslib adds it (with a warning).
    const int faults = record_->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF);
    if (r < -1 || faults != 0 || record_->n_allele < 1)
        throw InputError(path_ + ": record " + std::to_string(index + 1) + " cannot be read (truncated or corrupt).");
    return true;
}

void VcfReader::seek(long index) {
    if (index < 0 || index > markers_)
        throw InputError(path_ + ": marker " + std::to_string(index + 1) + " asked for, but it holds " +
                         std::to_string(markers_) + ".");
    if (index < next_) {  // back to the top; forward, from where the reading is
        open();
        next_ = 0;
    }
    for (; next_ < index; ++next_)
        if (!read_record(next_)) throw InputError(path_ + " changed while it was being read.");
}

bool VcfReader::next(Marker& m) {
    if (next_ >= markers_) return false;
    if (!read_record(next_)) throw InputError(path_ + " changed while it was being read.");
    bcf1_t* rec = record_.get();
    if (bcf_unpack(rec, BCF_UN_STR) != 0)
        throw InputError(path_ + ": record " + std::to_string(next_ + 1) + " is corrupt.");
    MarkerInfo& info = m.info;
    const char* chr = bcf_hdr_id2name(header_.get(), rec->rid);
    info.chr = chr != nullptr ? chr : ".";
    info.id = rec->d.id != nullptr ? rec->d.id : ".";
    info.bp = static_cast<long>(rec->pos) + 1;
    info.a2 = rec->n_allele > 0 ? rec->d.allele[0] : ".";
    info.a1 = rec->n_allele > 1 ? rec->d.allele[1] : ".";
    info.chr_class = chromosome_class(info.chr);
    info.autosomal = info.chr_class == ChromosomeClass::kAutosome;
    info.multiallelic = rec->n_allele > 2;
    for (int a = 2; a < rec->n_allele; ++a) info.a1 += std::string(",") + rec->d.allele[a];
    info.haploid_calls = 0;
    info.index = next_;
    info.quality = std::numeric_limits<double>::quiet_NaN();
    info.malformed_calls = 0;
    info.field_absent = false;
    m.genotype.assign(people_, -1);
    const GenotypeSource source = reading_.source;
    if (source == GenotypeSource::kGt) {
        m.likelihood.clear();
        m.dosage.clear();
    } else {
        m.dosage.assign(people_, std::numeric_limits<double>::quiet_NaN());
        if (source == GenotypeSource::kProbabilities)
            m.likelihood.assign(people_, {1.0, 1.0, 1.0});
        else
            m.likelihood.clear();
    }
    if (!quality_.empty()) info.quality = info_value(quality_.c_str());
    m.haploid.clear();
    if (!info.multiallelic) {
        decode(m);
        if (source == GenotypeSource::kHardCall) decode_dosages(m);
        if (source == GenotypeSource::kProbabilities) decode_probabilities(m);
    }
    ++next_;
    return true;
}

void VcfReader::decode(Marker& m) {
    // htslib ends the process on GT values stored as anything but integers (a corrupt
    // record): refuse those first.
    const bcf_fmt_t* gt = bcf_get_fmt(header_.get(), record_.get(), "GT");
    std::fill(haploid_.begin(), haploid_.end(), 0);
    if (gt == nullptr) return;  // no GT: everyone untyped
    if (gt->type != BCF_BT_INT8 && gt->type != BCF_BT_INT16 && gt->type != BCF_BT_INT32)
        throw InputError(path_ + ": marker " + std::to_string(next_ + 1) + " (" + m.info.id +
                         "): its GT values are not allele numbers (corrupt record).");
    const int total = bcf_get_genotypes(header_.get(), record_.get(), &gt_, &gt_size_);
    const int samples = static_cast<int>(person_of_sample_.size());
    if (total <= 0 || samples == 0) return;  // no GT: everyone untyped
    const int ploidy = total / samples;
    for (int s = 0; s < samples; ++s) {
        const int32_t* a = gt_ + static_cast<std::ptrdiff_t>(s) * ploidy;
        const bool diploid =
            ploidy >= 2 && a[1] != bcf_int32_vector_end && (ploidy == 2 || a[2] == bcf_int32_vector_end);
        haploid_[static_cast<std::size_t>(s)] = 0;
        if (!diploid) {
            if (ploidy >= 1 && a[0] != bcf_int32_vector_end && !bcf_gt_is_missing(a[0]) &&
                (ploidy == 1 || a[1] == bcf_int32_vector_end)) {
                const int x = bcf_gt_allele(a[0]);
                if (x < 0 || x >= record_->n_allele)
                    throw InputError(path_ + ": marker " + std::to_string(next_ + 1) + " (" + m.info.id +
                                     "): sample " + header_->samples[s] + " has an allele the record does not list.");
                ++m.info.haploid_calls;
                m.haploid.push_back({person_of_sample_[static_cast<std::size_t>(s)], static_cast<std::int8_t>(x == 1)});
                haploid_[static_cast<std::size_t>(s)] = 1;
            }
            continue;
        }
        if (bcf_gt_is_missing(a[0]) || bcf_gt_is_missing(a[1])) continue;
        const int x = bcf_gt_allele(a[0]), y = bcf_gt_allele(a[1]);
        if (x < 0 || y < 0 || x >= record_->n_allele || y >= record_->n_allele)
            throw InputError(path_ + ": marker " + std::to_string(next_ + 1) + " (" + m.info.id + "): sample " +
                             header_->samples[s] + " has an allele the record does not list.");
        m.genotype[static_cast<std::size_t>(person_of_sample_[static_cast<std::size_t>(s)])] =
            static_cast<std::int8_t>((x == 1) + (y == 1));
    }
}

bool VcfReader::declared(int line_type, const char* tag) const {
    const int id = bcf_hdr_id2int(header_.get(), BCF_DT_ID, tag);
    return id >= 0 && bcf_hdr_idinfo_exists(header_.get(), line_type, id);
}

void VcfReader::check_fields() {
    if (reading_.source == GenotypeSource::kGt && !reading_.quality_default && reading_.quality_field.empty()) return;
    // The quality's INFO field.
    if (!reading_.quality_field.empty()) {
        if (!declared(BCF_HL_INFO, reading_.quality_field.c_str()))
            throw InputError(path_ + ": --info-field " + reading_.quality_field +
                             ": the header declares no INFO field of that name.");
        quality_ = reading_.quality_field;
    } else if (reading_.quality_default) {
        for (const char* tag : {"R2", "DR2", "INFO"})
            if (declared(BCF_HL_INFO, tag)) {
                quality_ = tag;
                break;
            }
        if (quality_.empty() && reading_.quality_required)
            throw InputError(path_ + ": --min-info needs an imputation quality, but the header declares none of the "
                                     "INFO fields R2, DR2 and INFO; name the field with --info-field.");
    }
    if (!quality_.empty() &&
        bcf_hdr_id2type(header_.get(), BCF_HL_INFO, bcf_hdr_id2int(header_.get(), BCF_DT_ID, quality_.c_str())) !=
            BCF_HT_REAL &&
        bcf_hdr_id2type(header_.get(), BCF_HL_INFO, bcf_hdr_id2int(header_.get(), BCF_DT_ID, quality_.c_str())) !=
            BCF_HT_INT)
        throw InputError(path_ + ": INFO/" + quality_ + ", the imputation quality, is not declared a number.");
    af_ = declared(BCF_HL_INFO, "AF") &&
          bcf_hdr_id2type(header_.get(), BCF_HL_INFO, bcf_hdr_id2int(header_.get(), BCF_DT_ID, "AF")) == BCF_HT_REAL;
    if (reading_.source == GenotypeSource::kGt) return;

    // The genotype fields.
    std::vector<const char*> wanted;
    if (reading_.source == GenotypeSource::kHardCall)
        wanted = {reading_.field == DosageField::kDs ? "DS" : "GP"};
    else
        wanted = {"GL", "PL", "GP"};
    for (const char* tag : wanted)
        if (declared(BCF_HL_FMT, tag)) {
            const int type = bcf_hdr_id2type(header_.get(), BCF_HL_FMT, bcf_hdr_id2int(header_.get(), BCF_DT_ID, tag));
            const bool integer = std::strcmp(tag, "PL") == 0;
            if (type != (integer ? BCF_HT_INT : BCF_HT_REAL))
                throw InputError(path_ + ": the header declares FORMAT/" + tag + " of type " +
                                 (type == BCF_HT_INT ? "Integer" : type == BCF_HT_STR ? "String" : "Flag") +
                                 ", not " + (integer ? "Integer" : "Float") + ".");
            return;
        }
    std::string fields;
    for (int i = 0; i < header_->nhrec; ++i) {
        const bcf_hrec_t* h = header_->hrec[i];
        if (h->type != BCF_HL_FMT) continue;
        const int k = bcf_hrec_find_key(const_cast<bcf_hrec_t*>(h), "ID");
        if (k >= 0) fields += std::string(fields.empty() ? "" : ", ") + h->vals[k];
    }
    std::string advice;
    const std::string names = reading_.source == GenotypeSource::kHardCall ? wanted.front() : "GL, PL or GP";
    if (reading_.source == GenotypeSource::kHardCall && fields.find(reading_.field == DosageField::kDs ? "GP" : "DS") !=
                                                            std::string::npos)
        advice = std::string("use --dosage-field ") + (reading_.field == DosageField::kDs ? "GP" : "DS") + ", or ";
    else if (reading_.source == GenotypeSource::kProbabilities && fields.find("DS") != std::string::npos)
        advice = "use --genotypes hardcall --dosage-field DS, or ";
    throw InputError(path_ + ": marker " + (first_marker_.empty() ? std::string("1") : first_marker_) +
                     " and every other lack " + names + ", which --genotypes " +
                     (reading_.source == GenotypeSource::kHardCall ? "hardcall" : "prob") +
                     " reads: the header declares no such FORMAT field (it declares " +
                     (fields.empty() ? std::string("none") : fields) + "); " + advice +
                     "use --genotypes gt to read the GT calls.");
}

bool VcfReader::format_values(const Marker& m, const char* tag, bool integer, std::vector<double>& out,
                              int& stride) {
    const int samples = static_cast<int>(person_of_sample_.size());
    const int total = integer ? bcf_get_format_int32(header_.get(), record_.get(), tag, &counts_, &counts_size_)
                              : bcf_get_format_float(header_.get(), record_.get(), tag, &values_, &values_size_);
    if (total == -3 || samples == 0) return false;  // the record lacks the field
    if (total < 0)
        throw InputError(where(m) + ": its " + tag + " values cannot be read (" +
                         (total == -2 ? "not of the declared type" : "corrupt record") + ").");
    stride = total / samples;
    out.assign(static_cast<std::size_t>(total), 0.0);
    present_.assign(static_cast<std::size_t>(samples), 0);
    // A missing value becomes NaN; a NaN written as a number becomes +inf, malformed in every
    // one of these fields.
    for (int i = 0; i < samples * stride; ++i) {
        double& x = out[static_cast<std::size_t>(i)];
        bool end = false;
        if (integer) {
            const int32_t v = counts_[i];
            end = v == bcf_int32_vector_end;
            x = v == bcf_int32_missing ? NAN : static_cast<double>(v);
        } else {
            const float v = values_[i];
            end = bcf_float_is_vector_end(v);
            x = bcf_float_is_missing(v) ? NAN : std::isnan(v) ? INFINITY : static_cast<double>(v);
        }
        int& n = present_[static_cast<std::size_t>(i / stride)];
        if (!end && n == i % stride) ++n;
    }
    return true;
}

double VcfReader::info_value(const char* tag) {
    int n = 0;
    float* v = nullptr;
    const int got = bcf_get_info_float(header_.get(), record_.get(), tag, &v, &n);
    double x = std::numeric_limits<double>::quiet_NaN();
    if (got >= 1 && !bcf_float_is_missing(v[0]) && !bcf_float_is_vector_end(v[0])) {
        // The value as written (0.297, not the float's 0.296999990940094).
        char text[32];
        const auto r = std::to_chars(text, text + sizeof text - 1, v[0]);
        *r.ptr = '\0';
        x = std::strtod(text, nullptr);
    }
    if (got == -2) {  // an integer field
        int32_t* w = nullptr;
        int k = 0;
        if (bcf_get_info_int32(header_.get(), record_.get(), tag, &w, &k) >= 1 && w[0] != bcf_int32_missing &&
            w[0] != bcf_int32_vector_end)
            x = w[0];
        std::free(w);
    }
    std::free(v);
    return x;
}

std::string VcfReader::where(const Marker& m) const {
    return path_ + ": marker " + std::to_string(next_ + 1) + " (" + m.info.id + ")";
}

void VcfReader::decode_dosages(Marker& m) {
    const bool ds = reading_.field == DosageField::kDs;
    int stride = 0;
    if (!format_values(m, ds ? "DS" : "GP", false, field_, stride)) {
        std::fill(m.genotype.begin(), m.genotype.end(), static_cast<std::int8_t>(-1));
        m.info.field_absent = true;
        return;
    }
    for (std::size_t s = 0; s < person_of_sample_.size(); ++s) {
        const auto p = static_cast<std::size_t>(person_of_sample_[s]);
        const double* v = field_.data() + s * static_cast<std::size_t>(stride);
        const int n = present_[s];
        double d = 0.0;
        FieldRead r = FieldRead::kMissing;
        if (ds) {
            r = read_ds(v, n, d);
        } else if (n == 2 && !(std::isnan(v[0]) && std::isnan(v[1]))) {  // haploid: untyped, as a haploid GT
            m.genotype[p] = -1;
            if (!haploid_[s]) ++m.info.haploid_calls;
            continue;
        } else {
            GenotypeVector prob{};
            r = read_gp(v, n, prob);
            d = expected_dosage(prob);
        }
        if (r == FieldRead::kMissing) {  // the GT call stands
            if (m.genotype[p] >= 0) m.dosage[p] = m.genotype[p];
            continue;
        }
        if (r == FieldRead::kMalformed) {
            m.genotype[p] = -1;
            ++m.info.malformed_calls;
            continue;
        }
        m.dosage[p] = d;
        m.genotype[p] = static_cast<std::int8_t>(hard_call(d, reading_.hard_call_threshold));
    }
}

void VcfReader::decode_probabilities(Marker& m) {
    int stride = 0;
    const char* tag = nullptr;
    for (const char* t : {"GL", "PL", "GP"})
        if (declared(BCF_HL_FMT, t) && format_values(m, t, std::strcmp(t, "PL") == 0, field_, stride)) {
            tag = t;
            break;
        }
    if (tag == nullptr) {
        std::fill(m.genotype.begin(), m.genotype.end(), static_cast<std::int8_t>(-1));
        m.info.field_absent = true;
        return;
    }
    const bool posterior = tag[0] == 'G' && tag[1] == 'P';
    const bool x = chromosome_class(m.info.chr) == ChromosomeClass::kX;
    const std::size_t samples = person_of_sample_.size();
    std::vector<GenotypeVector> read(samples);
    std::vector<FieldRead> how(samples, FieldRead::kMissing);
    double sum = 0.0;
    long counted = 0;
    for (std::size_t s = 0; s < samples; ++s) {
        const double* v = field_.data() + s * static_cast<std::size_t>(stride);
        const int n = present_[s];
        how[s] = posterior ? read_gp(v, n, read[s]) : read_likelihoods(v, n, tag[0] == 'P', read[s]);
        if (how[s] != FieldRead::kOk) continue;
        if (x && male_[s] && n == 3) {  // a male on X: his heterozygote is ignored
            read[s][1] = 0.0;
            const double hom = read[s][0] + read[s][2];
            if (!(hom > 0.0)) {
                how[s] = FieldRead::kMalformed;
                continue;
            }
            read[s][0] /= hom;
            read[s][2] /= hom;
        }
        sum += read[s][1] / 2.0 + read[s][2];
        ++counted;
    }
    double q = counted > 0 ? sum / static_cast<double>(counted) : 0.5;
    if (af_) {
        const double af = info_value("AF");
        if (af >= 0.0 && af <= 1.0) q = af;
    }
    for (std::size_t s = 0; s < samples; ++s) {
        const auto p = static_cast<std::size_t>(person_of_sample_[s]);
        if (how[s] == FieldRead::kMalformed) {
            m.genotype[p] = -1;
            ++m.info.malformed_calls;
            continue;
        }
        if (how[s] == FieldRead::kMissing) {  // the GT call, as a certain genotype
            const int g = m.genotype[p];
            if (g < 0) continue;
            GenotypeVector certain{0.0, 0.0, 0.0};
            certain[static_cast<std::size_t>(g)] = 1.0;
            m.likelihood[p] = floor_vector(certain, reading_.gp_floor);
            m.dosage[p] = g;
            continue;
        }
        const GenotypeVector& r = read[s];
        m.dosage[p] = expected_dosage(r);
        if (m.genotype[p] < 0) m.genotype[p] = static_cast<std::int8_t>(best_guess(r));
        GenotypeVector l = r;
        if (posterior && reading_.divide_prior) {
            if (x && male_[s]) {  // a haploid prior
                const double qc = std::clamp(q, 1e-6, 1.0 - 1e-6);
                l = {r[0] / (1.0 - qc), 0.0, r[2] / qc};
                const double t = l[0] + l[2];
                l = {l[0] / t, 0.0, l[2] / t};
            } else {
                l = divide_prior(r, q);
            }
        }
        m.likelihood[p] = floor_vector(l, reading_.gp_floor);
    }
}


}  // namespace

std::unique_ptr<GenotypeReader> open_vcf(const std::string& path, const std::vector<FamPerson>& people) {
    return std::make_unique<VcfReader>(path, people, VcfReading{});
}

std::unique_ptr<GenotypeReader> open_vcf(const std::string& path, const std::vector<FamPerson>& people,
                                         const VcfReading& reading) {
    return std::make_unique<VcfReader>(path, people, reading);
}

}  // namespace quillon
