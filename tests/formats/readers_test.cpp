// The genotype readers on a hand-made fileset whose bytes are decoded by hand, the same
// genotypes as VCF and BCF, and the messages for a bad VCF.
#include <gtest/gtest.h>
#include <htslib/vcf.h>

#include <htslib/bgzf.h>
#include <sys/stat.h>

#include <cmath>
#include <map>
#include <tuple>

#include "support/program.hpp"
#include "formats/genotypes.hpp"
#include "formats/x_genotypes.hpp"

namespace quillon {
namespace {

const std::string kFam = "f a 0 0 1 1\nf b 0 0 2 1\nf c a b 1 2\nf d a b 2 2\ng e 0 0 1 -9\n";
const std::string kBim = "1 rs1 0 100 A G\nX rs2 0 200 C T\n";
// Two bytes a marker, the first person in the lowest two bits (00 two copies of A1, 01
// missing, 10 one, 11 none).  rs1: a 00, b 01, c 10, d 11 = 0xe4; e 10 = 0x02.
// rs2: a 11, b 11, c 00, d 10 = 0x8f; e 01 = 0x01.
const std::string kBed = std::string("\x6c\x1b\x01\xe4\x02\x8f\x01", 7);
const std::vector<std::int8_t> kGenotypes[2] = {{2, -1, 1, 0, 1}, {0, 0, 2, 1, -1}};

// The same genotypes as VCF (A1 = ALT), samples in another order, with one haploid call
// (e at rs2 is "1", read as untyped), and a multi-allelic third record.
const std::string kVcf =
    "##fileformat=VCFv4.2\n##contig=<ID=1>\n##contig=<ID=X>\n"
    "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\te\td\tc\tb\ta\n"
    "1\t100\trs1\tG\tA\t.\t.\t.\tGT\t0/1\t0/0\t1|0\t./.\t1/1\n"
    "X\t200\trs2\tT\tC\t.\t.\t.\tGT\t1\t0/1\t1/1\t0/0\t0/0\n"
    "1\t300\trs3\tG\tA,C\t.\t.\t.\tGT\t0/1\t0/0\t0/2\t0/0\t0/0\n";

std::vector<Marker> read_all(GenotypeReader& r) {
    std::vector<Marker> all;
    for (Marker m; r.next(m);) all.push_back(m);
    return all;
}

TEST(GenotypeReaders, BedAndVcfDecodeTheHandMadeGenotypes) {
    test_support::TempDir dir;
    dir.write("s.fam", kFam);
    dir.write("s.bim", kBim);
    dir.write("s.bed", kBed);
    dir.write("s.vcf", kVcf);
    {  // a BCF written by htslib from the plain file (a bgzipped VCF: the scan data folders)
        htsFile* in = hts_open(dir.file("s.vcf").c_str(), "r");
        htsFile* out = hts_open(dir.file("s.bcf").c_str(), "wb");
        bcf_hdr_t* h = bcf_hdr_read(in);
        ASSERT_EQ(bcf_hdr_write(out, h), 0);
        bcf1_t* rec = bcf_init();
        while (bcf_read(in, h, rec) == 0) ASSERT_EQ(bcf_write(out, h, rec), 0);
        bcf_destroy(rec);
        bcf_hdr_destroy(h);
        hts_close(in);
        hts_close(out);
    }
    const std::vector<FamPerson> people = read_fam(dir.file("s.fam"));
    const auto bed = open_bed(dir.file("s"), people);
    ASSERT_EQ(bed->marker_count(), 2);
    const std::vector<Marker> m = read_all(*bed);
    ASSERT_EQ(m.size(), 2u);
    for (int k = 0; k < 2; ++k) EXPECT_EQ(m[k].genotype, kGenotypes[k]) << k;
    EXPECT_EQ(m[1].info.chr + m[1].info.id + std::to_string(m[1].info.bp) + m[1].info.a1 + m[1].info.a2, "Xrs2200CT");
    EXPECT_TRUE(m[0].info.autosomal);
    EXPECT_FALSE(m[1].info.autosomal);
    bed->seek(1);
    EXPECT_EQ(read_all(*bed).front().info.id, "rs2");

    // Without ##contig and ##FORMAT lines (htslib adds them, with a warning).
    dir.write("bare.vcf", kVcf.substr(0, 21) + kVcf.substr(kVcf.find("#CHROM")));
    for (const char* name : {"s.vcf", "s.bcf", "bare.vcf"}) {
        const auto vcf = open_vcf(dir.file(name), people);
        ASSERT_EQ(vcf->marker_count(), 3) << name;
        const std::vector<Marker> v = read_all(*vcf);
        EXPECT_EQ(v[0].genotype, kGenotypes[0]) << name;
        EXPECT_EQ(v[1].genotype, kGenotypes[1]) << name;
        EXPECT_EQ(v[1].info.haploid_calls, 1) << name;
        EXPECT_EQ(v[0].info.a1 + v[0].info.a2 + std::to_string(v[1].info.autosomal), "AG0") << name;
        EXPECT_TRUE(v[2].info.multiallelic && v[2].genotype == std::vector<std::int8_t>(5, -1)) << name;
        vcf->seek(2);
        EXPECT_EQ(read_all(*vcf).front().info.id, "rs3") << name;
        EXPECT_EQ(vcf->x_places().size(), 1u);
        // On X: male e's haploid call is his allele; as a female's it is untyped; d as a male is
        // a heterozygous male; inside the pseudo-autosomal region every haploid call is untyped.
        const std::vector<char> keep(5, 1);
        for (const auto& [sexes, par, expected] : {std::tuple{"12121", ParBuild::kNone, "0 0 2 1 2 | 3 0 0 0"},
                                                   {"12112", ParBuild::kNone, "0 0 2 1 -1 | 3 1 1 0"},
                                                   {"12121", ParBuild::kB38, "0 0 2 1 -1 | 0 0 0 1"}}) {
            Marker x = v[1];
            std::vector<std::int8_t> sex;
            for (const char* c = sexes; *c != '\0'; ++c) sex.push_back(static_cast<std::int8_t>(*c - '0'));
            prepare_marker(x, sex, keep, par);
            std::string text;
            for (const int g : x.genotype) text += std::to_string(g) + " ";
            text += "|";  // typed males, heterozygous ones, haploid calls of females, of non-X markers
            for (const long n : {x.info.x_typed_males, x.info.x_het_males, x.info.x_haploid_females, x.info.haploid_calls})
                text += " " + std::to_string(n);
            EXPECT_EQ(text, expected) << name;
        }
    }
    for (const char* chr : {"chrX", "y", "MT", "chrM", "23", "24", "26"}) EXPECT_FALSE(is_autosome(chr)) << chr;
    for (const char* chr : {"1", "22", "chr2", "0", "27", "XY", "PAR1", "par2", "25"}) EXPECT_TRUE(is_autosome(chr)) << chr;
    EXPECT_EQ(bed->x_places().size(), 1u);
    // The pseudo-autosomal boundaries, at and one past each.
    constexpr auto kA = ChromosomeClass::kAutosome, kX = ChromosomeClass::kX;
    for (const auto& [par, end1, start2] : {std::tuple{ParBuild::kB37, 2699520L, 154931044L}, {ParBuild::kB38, 2781479L, 155701383L}})
        EXPECT_EQ(std::vector({chromosome_class("chrX", end1, par), chromosome_class("X", end1 + 1, par),
                               chromosome_class("23", start2 - 1, par), chromosome_class("x", start2, par)}),
                  std::vector({kA, kX, kX, kA}));
    EXPECT_EQ(chromosome_class("X", 100, ParBuild::kNone), kX);
    EXPECT_EQ(chromosome_class("Y", 100, ParBuild::kB37), ChromosomeClass::kOther);
}

// Each bad VCF: the file replaced in the good fileset, the message.  (The scan's messages on
// the other files: tests/scan/data.)
TEST(GenotypeReaders, BadVcfNamesFileAndRecord) {
    const struct {
        std::string vcf, message;
    } cases[] = {
        {kVcf.substr(0, kVcf.find("#CHROM")) + "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tz\tb\n",
         "s.vcf: sample z (sample column 2 of the #CHROM line) is not an IID of the .fam."},
        {kVcf.substr(0, kVcf.rfind("\tG\tA,C")), "s.vcf: record 3 cannot be read (truncated or corrupt)."},
        {kVcf.substr(0, kVcf.size() - 12), "s.vcf: record 3 cannot be read (truncated or corrupt)."},
        // htslib would end the process on GT values stored as text (here after an empty key)
        {"##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\n"
         "1\t1\tr\tG\tA\t.\t.\t.\t:GT\t0/1\n",
         "s.vcf: marker 1 (r): its GT values are not allele numbers (corrupt record)."},
    };
    for (const auto& c : cases) {
        test_support::TempDir dir;
        dir.write("s.fam", kFam);
        dir.write("s.vcf", c.vcf);
        std::string message = "(no error)";
        try {
            read_all(*open_vcf(dir.file("s.vcf"), read_fam(dir.file("s.fam"))));
        } catch (const InputError& e) {
            message = e.what();
        }
        EXPECT_EQ(message, dir.file(c.message));
    }
}

// A bgzipped VCF cut at any block boundary (each record its own block here) is refused, as is
// a pipe, which cannot be read twice.
TEST(GenotypeReaders, TruncatedCompressedFileAndPipeRefused) {
    test_support::TempDir dir;
    dir.write("s.fam", kFam);
    const std::vector<FamPerson> people = read_fam(dir.file("s.fam"));
    std::vector<std::int64_t> ends;  // the header, then each record, a block each
    BGZF* z = bgzf_open(dir.file("s.vcf.gz").c_str(), "w");
    for (std::size_t at = 0, next = kVcf.find("\n1\t") + 1; at < kVcf.size(); at = next, next = kVcf.find('\n', at) + 1) {
        ASSERT_EQ(bgzf_write(z, kVcf.data() + at, next - at), static_cast<ssize_t>(next - at));
        ASSERT_EQ(bgzf_flush(z), 0);
        ends.push_back(bgzf_tell(z) >> 16);
    }
    bgzf_close(z);
    const std::string whole = dir.read("s.vcf.gz");
    for (const std::int64_t end : ends) {
        dir.write("cut.vcf.gz", whole.substr(0, static_cast<std::size_t>(end)));
        EXPECT_THROW(read_all(*open_vcf(dir.file("cut.vcf.gz"), people)), InputError) << end;
    }
    EXPECT_EQ(read_all(*open_vcf(dir.file("s.vcf.gz"), people)).size(), 3u);
    ASSERT_EQ(::mkfifo(dir.file("pipe.vcf").c_str(), 0600), 0);
    try {
        open_vcf(dir.file("pipe.vcf"), people);
        ADD_FAILURE() << "a pipe was opened";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("is a pipe or a device, not a file"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// GP read as hard calls and as likelihoods: a GT call standing in for a missing GP, a GP
// without GT, a malformed GP and a dosage no call is near; a record without GP.
TEST(GenotypeReaders, VcfProbabilitiesAsHardCallsAndLikelihoods) {
    test_support::TempDir dir;
    dir.write("s.fam", kFam);
    dir.write("p.vcf",
              "##fileformat=VCFv4.2\n##contig=<ID=1>\n##INFO=<ID=R2,Number=1,Type=Float,Description=\"r\">\n"
              "##INFO=<ID=AF,Number=A,Type=Float,Description=\"f\">\n"
              "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"g\">\n"
              "##FORMAT=<ID=GP,Number=G,Type=Float,Description=\"p\">\n"
              "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\tc\td\te\n"
              "1\t100\trs1\tG\tA\t.\t.\tR2=0.5;AF=0.5\tGT:GP\t0/1:0,0.9,0.1\t0/0:.\t./.:0.2,0.5,0.3\t0/1:-1,1,1\t"
              "1/1:0.5,0.2,0.1\n"
              "1\t200\trs2\tG\tA\t.\t.\t.\tGT\t0/1\t0/0\t0/1\t0/1\t0/0\n");
    const std::vector<FamPerson> people = read_fam(dir.file("s.fam"));
    VcfReading reading;
    reading.source = GenotypeSource::kHardCall;
    reading.quality_default = true;
    std::vector<Marker> m = read_all(*open_vcf(dir.file("p.vcf"), people, reading));
    EXPECT_EQ(m[0].genotype, (std::vector<std::int8_t>{1, 0, 1, -1, -1}));
    EXPECT_EQ(m[0].info.quality, 0.5f);
    EXPECT_EQ(m[0].info.malformed_calls, 1);
    EXPECT_EQ(m[1].genotype, std::vector<std::int8_t>(5, -1));
    EXPECT_TRUE(m[1].info.field_absent && std::isnan(m[1].info.quality));

    reading.source = GenotypeSource::kProbabilities;
    reading.gp_floor = 0.003;
    m = read_all(*open_vcf(dir.file("p.vcf"), people, reading));
    EXPECT_EQ(m[0].genotype, (std::vector<std::int8_t>{1, 0, 1, -1, 2}));  // c: the best guess
    const double c[3] = {0.997 * 0.8 / 3 + 0.001, 0.997 / 3 + 0.001, 0.997 * 1.2 / 3 + 0.001};
    for (int g = 0; g < 3; ++g) EXPECT_NEAR(m[0].likelihood[2][g], c[g], 2e-7) << g;  // GP read as floats
    EXPECT_EQ(m[0].likelihood[1], (std::array<double, 3>{0.998, 0.001, 0.001}));
    EXPECT_EQ(m[0].likelihood[3], (std::array<double, 3>{1, 1, 1}));

    reading.source = GenotypeSource::kHardCall;
    reading.field = DosageField::kDs;
    try {
        open_vcf(dir.file("p.vcf"), people, reading);
        ADD_FAILURE() << "no DS, yet read";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("marker 1 (rs1) and every other lack DS"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("--dosage-field GP"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace quillon
