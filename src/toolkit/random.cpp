#include "toolkit/random.hpp"

#include <cmath>
#include <cstdint>

namespace quillon {

namespace {

constexpr long kIm1 = 2147483563;  // first modulus
constexpr long kIm2 = 2147483399;  // second modulus
constexpr long kImm1 = kIm1 - 1;
constexpr long kIa1 = 40014;  // multipliers, with Schrage's quotient and remainder:
constexpr long kIa2 = 40692;  //   kIm1 = kIa1*kIq1 + kIr1,  kIm2 = kIa2*kIq2 + kIr2
constexpr long kIq1 = 53668;
constexpr long kIq2 = 52774;
constexpr long kIr1 = 12211;
constexpr long kIr2 = 3791;
constexpr int kNtab = 32;                    // shuffle table size
constexpr long kNdiv = 1 + kImm1 / kNtab;    // 67108862
constexpr double kAm = 4.656613057391769e-10;  // 1/kIm1
constexpr double kRnmx = 0.99999988;           // 1 - 1.2e-7, the largest value returned

static_assert(kIm1 == kIa1 * kIq1 + kIr1 && kIm2 == kIa2 * kIq2 + kIr2);
static_assert(kNdiv == 67108862);

struct Ran2State {
    long idum2 = 123456789;  // second generator
    long iy = 0;             // last shuffled output
    long iv[kNtab] = {};     // shuffle table
};
Ran2State ran2_state;

struct GasdevState {
    bool iset = false;  // a deviate is saved
    double gset = 0.0;  // the saved deviate
};
GasdevState gasdev_state;

// One step z <- (ia * z) mod im by Schrage's method: with im = ia*iq + ir and ir < iq,
// ia*(z mod iq) - ir*(z / iq) lies in (-im, im) and is congruent to ia*z; no product
// exceeds 32 bits for any 32-bit z.
long schrage_step(long z, long ia, long iq, long ir, long im) {
    const long k = z / iq;
    z = ia * (z - k * iq) - k * ir;
    if (z < 0) z += im;
    return z;
}

}  // namespace

double ran2(long* idum) {
    Ran2State& st = ran2_state;
    // The seed is a 32-bit long: keep only the bits such a long would hold (the conversion
    // is modular).  -2^31 then negates to 2^31 without overflow in 64 bits, and Schrage's
    // step still lands in range.
    long seed = static_cast<std::int32_t>(*idum);
    if (seed <= 0) {
        // (Re)initialise: 0 becomes 1, a negative seed is negated; warm up 8 steps, then fill
        // the table from its end.
        if (-seed < 1)
            seed = 1;
        else
            seed = -seed;
        st.idum2 = seed;
        for (int j = kNtab + 7; j >= 0; --j) {
            seed = schrage_step(seed, kIa1, kIq1, kIr1, kIm1);
            if (j < kNtab) st.iv[j] = seed;
        }
        st.iy = st.iv[0];
    }
    seed = schrage_step(seed, kIa1, kIq1, kIr1, kIm1);
    st.idum2 = schrage_step(st.idum2, kIa2, kIq2, kIr2, kIm2);
    // The previous output picks the table entry; the new output combines it with generator 2.
    const int j = static_cast<int>(st.iy / kNdiv);
    st.iy = st.iv[j] - st.idum2;
    st.iv[j] = seed;
    if (st.iy < 1) st.iy += kImm1;
    *idum = seed;
    const double temp = kAm * static_cast<double>(st.iy);
    return temp > kRnmx ? kRnmx : temp;
}

double gasdev(long* idum) {
    GasdevState& st = gasdev_state;
    if (st.iset) {
        st.iset = false;
        return st.gset;
    }
    double v1 = 0.0;
    double v2 = 0.0;
    double rsq = 0.0;
    do {
        // A point uniform in the square (-1, 1)^2, kept when inside the unit circle.
        v1 = 2.0 * ran2(idum) - 1.0;
        v2 = 2.0 * ran2(idum) - 1.0;
        rsq = v1 * v1 + v2 * v2;
    } while (rsq >= 1.0 || rsq == 0.0);
    // fac = sqrt(-2 ln(rsq) / rsq): (v1 fac, v2 fac) are two independent normal deviates.
    const double fac = std::sqrt(-2.0 * std::log(rsq) / rsq);
    st.gset = v1 * fac;
    st.iset = true;
    return v2 * fac;
}

void gasdev_discard_saved() { gasdev_state.iset = false; }

}  // namespace quillon
