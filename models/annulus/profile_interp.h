// Sampling of grid profiles at sensor positions by linear interpolation.
//
// A profile holds n values on a uniform grid of n cells of length dx; with its boundary value
// it has n+1 support points at 0, dx, ..., n*dx. The two samplers differ in where the profile
// values sit and at which end the boundary value lies.
#pragma once

namespace tavrel {

// profile[k] sits at (k+1)*dx; `boundary` sits at 0 (the upward invariant `w_up`).
void interpProfileStartBoundary(const double* profile, const double* positions, double* results,
                                int n, int m, double dx, double boundary);

// profile[k] sits at k*dx; `boundary` sits at n*dx (the downward invariant `w_down`).
void interpProfileEndBoundary(const double* profile, const double* positions, double* results,
                              int n, int m, double dx, double boundary);

} // namespace tavrel
