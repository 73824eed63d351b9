// VCF and BCF files (plain or bgzipped) through htslib, a record at a time.

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/vcf.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

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
    VcfReader(const std::string& path, const std::vector<FamPerson>& people);
    ~VcfReader() override { std::free(gt_); }
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

    std::string path_;
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

VcfReader::VcfReader(const std::string& path, const std::vector<FamPerson>& people)
    : path_(path), people_(people.size()) {
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
    }
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
        if (cut && bcf_unpack(record_.get(), BCF_UN_STR) == 0)
            last = std::to_string(markers_) + " (" + (record_->d.id != nullptr ? record_->d.id : ".") + ")";
    }
    if (cut)
        throw InputError(path_ + " is truncated: the compressed file ends without its end-of-file block; the last "
                                 "marker read is " + last + ".");
    open();
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
    m.genotype.assign(people_, -1);
    m.haploid.clear();
    if (!info.multiallelic) decode(m);
    ++next_;
    return true;
}

void VcfReader::decode(Marker& m) {
    // htslib ends the process on GT values stored as anything but integers (a corrupt
    // record): refuse those first.
    const bcf_fmt_t* gt = bcf_get_fmt(header_.get(), record_.get(), "GT");
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
        if (!diploid) {
            if (ploidy >= 1 && a[0] != bcf_int32_vector_end && !bcf_gt_is_missing(a[0]) &&
                (ploidy == 1 || a[1] == bcf_int32_vector_end)) {
                const int x = bcf_gt_allele(a[0]);
                if (x < 0 || x >= record_->n_allele)
                    throw InputError(path_ + ": marker " + std::to_string(next_ + 1) + " (" + m.info.id +
                                     "): sample " + header_->samples[s] + " has an allele the record does not list.");
                ++m.info.haploid_calls;
                m.haploid.push_back({person_of_sample_[static_cast<std::size_t>(s)], static_cast<std::int8_t>(x == 1)});
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

}  // namespace

std::unique_ptr<GenotypeReader> open_vcf(const std::string& path, const std::vector<FamPerson>& people) {
    return std::make_unique<VcfReader>(path, people);
}

}  // namespace quillon
