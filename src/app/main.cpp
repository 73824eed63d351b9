// quillon: likelihood transmission/disequilibrium test with covariate-modified genotype
// relative risks, for one two-allele marker in nuclear families.
#include "app/app.hpp"

int main(int argc, char** argv) { return quillon::run_quillon(argc, argv); }
