// Vector kernels of the host for the solver library's serial vectors. They compute what the
// library's own serial operations compute, element by element in the same order (hence the
// same results), in loops the compiler optimises; the distribution's build of the library
// leaves its generic kernels unoptimised, and they would dominate a run's time.
#pragma once

#include <sundials/sundials_nvector.h>

#include <cstddef>

namespace tavrel::sim {

// Installs the kernels in `v`'s operation table; vectors cloned from it inherit them.
void useHostVectorKernels(N_Vector v);

// The solver library's error weights for scalar tolerances, w = 1 / (rtol |y| + atol), in one
// pass instead of the library's four (absolute value, scale, add, inverse), with each
// element's operations the same. For a positive atol, with which the library tests nothing.
void scalarToleranceWeights(double rtol, double atol, N_Vector y, N_Vector w);

// True when none of the `count` values is infinite or not-a-number.
bool allFinite(const double* values, std::size_t count);

} // namespace tavrel::sim
