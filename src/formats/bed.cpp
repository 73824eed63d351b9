// PLINK 1 binary filesets: PREFIX.bed (SNP-major) read a marker at a time, PREFIX.bim
// streamed beside it.

#include <sys/stat.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "formats/bed_codes.hpp"
#include "formats/genotypes.hpp"
#include "io/line_reader.hpp"
#include "io/text_file.hpp"

namespace quillon {

namespace {

// The four genotypes of each .bed byte (formats/bed_codes.hpp).
using ByteCodes = std::array<std::array<std::int8_t, 4>, 256>;
constexpr ByteCodes make_byte_codes() {
    ByteCodes t{};
    for (int b = 0; b < 256; ++b)
        for (int k = 0; k < 4; ++k)
            t[static_cast<std::size_t>(b)][static_cast<std::size_t>(k)] = kBedCopies[(b >> (2 * k)) & 3];
    return t;
}
constexpr ByteCodes kByteCodes = make_byte_codes();

std::string hex_byte(unsigned char b) {
    constexpr char digits[] = "0123456789abcdef";
    return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

class BedReader final : public GenotypeReader {
public:
    BedReader(const std::string& prefix, long people);

    long marker_count() const override { return markers_; }
    bool next(Marker& m) override;
    void seek(long index) override;

private:
    void read_bim_line(MarkerInfo& info);

    std::string bed_path_, bim_path_;
    FileHandle bed_, bim_;
    std::unique_ptr<LineReader> bim_reader_;
    long people_ = 0;
    long markers_ = 0;
    long bytes_per_marker_ = 0;
    long next_ = 0;  // index of the marker next() reads
    std::vector<unsigned char> bytes_;
    std::string line_;
};

BedReader::BedReader(const std::string& prefix, long people)
    : bed_path_(prefix + ".bed"), bim_path_(prefix + ".bim"), people_(people), bytes_per_marker_((people + 3) / 4) {
    bed_ = open_input(bed_path_);
    unsigned char head[3] = {0, 0, 0};
    const std::size_t got = std::fread(head, 1, 3, bed_.get());
    if (got < 3 && std::ferror(bed_.get())) read_failed(bed_path_, errno);
    if (got < 2 || head[0] != kBedMagic[0] || head[1] != kBedMagic[1])
        throw InputError(bed_path_ + " is not a PLINK 1 .bed file: it does not begin with the bytes 0x6c 0x1b.");
    if (got < 3) throw InputError(bed_path_ + " ends after its first two bytes; the third gives its mode.");
    if (head[2] == 0x00)
        throw InputError(bed_path_ +
                         " is in individual-major mode (third byte 0x00), which is not read; write it SNP-major "
                         "with plink1.9 --bfile PREFIX --make-bed --out NEWPREFIX.");
    if (head[2] != kBedSnpMajor)
        throw InputError(bed_path_ + ": the mode byte (third byte) is " + hex_byte(head[2]) +
                         "; 0x01 (SNP-major) is read.");

    // The .bim's marker lines, counted once; the .bim is then streamed beside the .bed.
    bim_ = open_input(bim_path_);
    long last_line = 0;
    {
        LineReader counter(bim_.get());
        std::string_view f[4];
        long bp = 0;
        while (counter.next(line_))
            if (!is_blank(line_)) {
                if (split_fields(line_, f, 4) == 4 && chromosome_class(f[0]) == ChromosomeClass::kX &&
                    parse_long(f[3], bp) == NumberParse::kOk)
                    x_places_.push_back({markers_, bp});
                ++markers_;
                last_line = counter.line_number();
            }
        if (counter.error() != 0) read_failed(bim_path_, counter.error());
    }

    struct stat st {};
    if (fstat(fileno(bed_.get()), &st) != 0) read_failed(bed_path_, errno);
    const long long size = st.st_size;
    const long long expected = 3 + static_cast<long long>(markers_) * bytes_per_marker_;
    if (size != expected) {
        std::string text = bed_path_ + " holds " + std::to_string(size) + " bytes, but " + std::to_string(markers_) +
                           " markers of " + bim_path_ + " (last on line " + std::to_string(last_line) + ") and " +
                           std::to_string(people_) + " individuals of " + prefix + ".fam need 3 + " +
                           std::to_string(markers_) + " x " + std::to_string(bytes_per_marker_) + " = " +
                           std::to_string(expected) + ".";
        if (bytes_per_marker_ > 0 && (size - 3) % bytes_per_marker_ == 0)
            text += " It holds " + std::to_string((size - 3) / bytes_per_marker_) +
                    " markers: the .bim and .bed disagree (or the .fam is not the .bed's).";
        else
            text += " It is truncated or not made for this .fam.";
        throw InputError(text);
    }
    bytes_.resize(static_cast<std::size_t>(bytes_per_marker_));
    seek(0);
}

void BedReader::seek(long index) {
    if (index < 0 || index > markers_)
        throw InputError(bed_path_ + ": marker " + std::to_string(index + 1) + " asked for, but it holds " +
                         std::to_string(markers_) + ".");
    const long long offset = 3 + static_cast<long long>(index) * bytes_per_marker_;
    if (fseeko(bed_.get(), static_cast<off_t>(offset), SEEK_SET) != 0) read_failed(bed_path_, errno);
    if (!bim_reader_ || index < next_) {  // back to the top; forward, from where the reading is
        if (fseeko(bim_.get(), 0, SEEK_SET) != 0) read_failed(bim_path_, errno);
        bim_reader_ = std::make_unique<LineReader>(bim_.get());
        next_ = 0;
    }
    while (next_ < index) {
        if (!bim_reader_->next(line_)) throw InputError(bim_path_ + " changed while it was being read.");
        if (!is_blank(line_)) ++next_;
    }
}

void BedReader::read_bim_line(MarkerInfo& info) {
    do {
        if (!bim_reader_->next(line_)) {
            if (bim_reader_->error() != 0) read_failed(bim_path_, bim_reader_->error());
            throw InputError(bim_path_ + " changed while it was being read.");
        }
    } while (is_blank(line_));
    const long ln = bim_reader_->line_number();
    std::string_view f[6];
    const int n = split_fields(line_, f, 6);
    if (n < 6)
        throw InputError(at_line(bim_path_, ln) + "holds " + std::to_string(n) +
                         " fields; a .bim line has six: chromosome, ID, cM, position, A1, A2.");
    long bp = 0;
    if (parse_long(f[3], bp) != NumberParse::kOk)
        throw InputError(at_line(bim_path_, ln) + "the position '" + std::string(f[3]) + "' is not an integer.");
    if (bp < 0)  // PLINK's mark of a marker to leave out: remove such lines first
        throw InputError(at_line(bim_path_, ln) + "the position " + std::string(f[3]) +
                         " is negative; remove the markers PLINK marks so (plink --make-bed) first.");
    info.chr.assign(f[0]);
    info.id.assign(f[1]);
    info.bp = bp;
    info.a1.assign(f[4]);
    info.a2.assign(f[5]);
    info.chr_class = chromosome_class(f[0]);
    info.autosomal = info.chr_class == ChromosomeClass::kAutosome;
    info.multiallelic = false;
    info.haploid_calls = 0;
}

bool BedReader::next(Marker& m) {
    if (next_ >= markers_) return false;
    read_bim_line(m.info);
    m.info.index = next_;
    m.haploid.clear();
    const std::size_t got = std::fread(bytes_.data(), 1, bytes_.size(), bed_.get());
    if (got != bytes_.size()) {
        if (std::ferror(bed_.get())) read_failed(bed_path_, errno);
        throw InputError(bed_path_ + " ends within marker " + std::to_string(next_ + 1) + " (" + m.info.id + ").");
    }
    m.genotype.resize(static_cast<std::size_t>(people_));
    std::int8_t* g = m.genotype.data();
    const auto full = static_cast<std::size_t>(people_ / 4);
    const unsigned char* bytes = bytes_.data();
    const auto decode = [g, bytes](std::size_t b) { std::memcpy(g + 4 * b, kByteCodes[bytes[b]].data(), 4); };
    std::size_t b = 0;
    for (; b + 8 <= full; b += 8) {  // eight bytes a round, for fewer loop steps per byte
#pragma GCC unroll 8
        for (std::size_t k = 0; k < 8; ++k) decode(b + k);
    }
    for (; b < full; ++b) decode(b);
    for (long p = static_cast<long>(4 * full); p < people_; ++p)
        g[p] = kByteCodes[bytes_[full]][static_cast<std::size_t>(p & 3)];
    ++next_;
    return true;
}

}  // namespace

std::string chromosome_code(std::string name) {
    std::string lower;
    for (const char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.starts_with("chr")) {
        lower.erase(0, 3);
        name.erase(0, 3);
    }
    if (lower == "x") return "23";
    if (lower == "y") return "24";
    if (lower == "xy" || lower == "par1" || lower == "par2") return "25";
    if (lower == "m" || lower == "mt") return "26";
    const bool digits = !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
    if (digits) {
        const std::size_t first = name.find_first_not_of('0');
        return first == std::string::npos ? "0" : name.substr(first);
    }
    return name;
}

ChromosomeClass chromosome_class(std::string_view chr) {
    const std::string code = chromosome_code(std::string(chr));
    if (code == "23") return ChromosomeClass::kX;
    return code == "24" || code == "26" ? ChromosomeClass::kOther : ChromosomeClass::kAutosome;
}

ChromosomeClass chromosome_class(std::string_view chr, long bp, ParBuild par) {
    const ChromosomeClass c = chromosome_class(chr);
    return c == ChromosomeClass::kX && pseudo_autosomal(bp, par) ? ChromosomeClass::kAutosome : c;
}

bool is_autosome(std::string_view chr) { return chromosome_class(chr) == ChromosomeClass::kAutosome; }

std::unique_ptr<GenotypeReader> open_bed(const std::string& prefix, const std::vector<FamPerson>& people) {
    return std::make_unique<BedReader>(prefix, static_cast<long>(people.size()));
}

}  // namespace quillon
