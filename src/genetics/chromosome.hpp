#pragma once
// The classes of chromosome that call for different handling: the autosomes (diploid in
// everyone, the pseudo-autosomal regions of X and Y among them), X (one copy in males), and
// the others the scan leaves out (Y, MT).

namespace quillon {

enum class ChromosomeClass { kAutosome, kX, kOther };

// The genome assembly whose pseudo-autosomal boundaries split X (PLINK's --split-x and
// --split-par): kNone leaves every X position on X.
enum class ParBuild { kNone, kB37, kB38 };

// True for an X position inside the pseudo-autosomal regions of `build`: at or below the end
// of PAR1, or at or above the start of PAR2 (b37/hg19: 2,699,520 and 154,931,044; b38/hg38:
// 2,781,479 and 155,701,383).
inline bool pseudo_autosomal(long bp, ParBuild build) {
    switch (build) {
        case ParBuild::kB37: return bp <= 2699520 || bp >= 154931044;
        case ParBuild::kB38: return bp <= 2781479 || bp >= 155701383;
        case ParBuild::kNone: break;
    }
    return false;
}

}  // namespace quillon
