#pragma once
// The PLINK 1 .bed encoding, shared by the reader (formats/bed.cpp) and the simulator's
// writer.  A .bed begins with two magic bytes and a mode byte (0x01: SNP-major, a marker's
// genotypes together).  Each later byte holds four genotypes, the first person in the two
// lowest bits; a two-bit code counts the copies of A1: 0 two, 1 missing, 2 one, 3 none.

#include <cstdint>

namespace quillon {

inline constexpr unsigned char kBedMagic[2] = {0x6c, 0x1b};
inline constexpr unsigned char kBedSnpMajor = 0x01;

// Copies of A1 of each two-bit code; -1 for missing.
inline constexpr std::int8_t kBedCopies[4] = {2, -1, 1, 0};
// The two-bit code of 0, 1 and 2 copies of A1, and of a missing genotype.
inline constexpr unsigned char kBedCode[3] = {3, 2, 0};
inline constexpr unsigned char kBedMissing = 1;

}  // namespace quillon
