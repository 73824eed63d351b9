#pragma once
// Uniform and normal random numbers.
//
// ran2: combination of two multiplicative congruential generators (Schrage's method) with
// a 32-entry shuffle table.  *idum <= 0 (re)initialises; the result lies in
// [1/2147483563, 0.99999988].  gasdev: standard normal deviates (polar Box-Muller) on ran2.
// Both keep process-wide state, as their callers expect a single stream per process.

namespace quillon {

double ran2(long* idum);
double gasdev(long* idum);

}  // namespace quillon
