#pragma once
// Uniform and normal random numbers.
//
// ran2: L'Ecuyer's combination of two multiplicative congruential generators, each stepped
// by Schrage's method, with a 32-entry Bays-Durham shuffle table.  gasdev: standard normal
// deviates by the polar form of the Box-Muller method, drawing on ran2.
// Both keep process-wide state (one stream per process) and are not reentrant.

namespace quillon {

// Returns a uniform deviate in [1/2147483563, 0.99999988]; never 0 or 1.
// *idum is the seed and the first generator's state.  *idum <= 0 (re)initialises the whole
// generator (0 and -1 both mean seed 1); afterwards *idum stays in 1..2147483562 and must not
// be changed by the caller between calls.  The seed is a 32-bit quantity: a value outside
// the 32-bit range is first cut to its low 32 bits, as a 32-bit long would hold it.  The
// sequence is identical to that of the 32-bit integer arithmetic.
double ran2(long* idum);

// Returns a standard normal deviate.  Deviates come in pairs from one accepted pair of
// uniforms: odd-numbered calls draw a new pair and return one member, even-numbered calls
// return the saved partner without touching *idum.  Reseeding through *idum <= 0 does not
// discard a saved deviate.
double gasdev(long* idum);

// Forgets a deviate saved by gasdev, so that its next call draws a fresh pair.
void gasdev_discard_saved();

}  // namespace quillon
