#pragma once
// The classes of chromosome that call for different handling: the autosomes (diploid in
// everyone), X (one copy in males), and the others the scan leaves out (Y, the
// pseudo-autosomal XY code, MT).

namespace quillon {

enum class ChromosomeClass { kAutosome, kX, kOther };

}  // namespace quillon
