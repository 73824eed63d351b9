#include "toolkit/print.hpp"

namespace quillon {

void pd(const DVector& a, int k, std::FILE* out) {
    for (int i = 1; i <= k; ++i) std::fprintf(out, "%10.4lf", a[i]);
    std::fprintf(out, "\n");
}

void pl(const LVector& a, int k, std::FILE* out) {
    for (int i = 1; i <= k; ++i) std::fprintf(out, " %10ld", a[i]);
    std::fprintf(out, "\n");
}

void pi(const IVector& a, int k, std::FILE* out) {
    for (int i = 1; i <= k; ++i) std::fprintf(out, " %10d", a[i]);
    std::fprintf(out, "\n");
}

void pf(const DVector& a, int k, std::FILE* out) {
    for (int i = 1; i <= k; ++i) std::fprintf(out, " %10f", a[i]);
    std::fprintf(out, "\n");
}

void pmi(const IMatrix& a, int k, int l, std::FILE* out) {
    std::fprintf(out, "\n");
    for (int i = 1; i <= k; ++i) {
        for (int j = 1; j <= l; ++j) std::fprintf(out, " %9d", a[i][j]);
        std::fprintf(out, "\n");
    }
}

void pmf(const DMatrix& a, int k, int l, std::FILE* out) {
    std::fprintf(out, "\n");
    for (int i = 1; i <= k; ++i) {
        for (int j = 1; j <= l; ++j) std::fprintf(out, " %15.10f", a[i][j]);
        std::fprintf(out, "\n");
    }
}

}  // namespace quillon
