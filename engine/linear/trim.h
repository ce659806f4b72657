// The steady state nearest a starting state: pseudo-transient continuation on the state
// derivatives, each pseudo-time step an implicit Euler step solved by Newton's method.
#pragma once

#include "linearization.h"

#include <functional>
#include <vector>

namespace tavrel::linear {

using Derivatives = std::function<void(const std::vector<double>& x, std::vector<double>& xdot)>;
using Jacobian = std::function<Matrix(const std::vector<double>& x)>;

// Largest rate, each state's in its scale per second, that counts as steady: 1e-8 m/s per s
// for the wave invariants (0.013 Pa/s), 1e-3 Pa/s for a pressure. The last Newton steps
// converge quadratically, to some 1e-10 on the shipped scenarios.
inline constexpr double steady_rate = 1e-8;

// max |dx/dt| / scale over the states: how far from steady a point is, each state measured in
// its own scale (1e5 Pa, 1 m/s, ...).
double scaledRate(const std::vector<double>& xdot, const std::vector<double>& scales);

// x with dx/dt = 0 from `start`, with `scales` the size of a meaningful change of each state.
// Throws LinearizeError, with the rate reached and the state farthest from steady, when it
// does not converge.
std::vector<double> trimState(const std::vector<double>& start, const std::vector<double>& scales,
                              const std::vector<std::string>& names, const Derivatives& derivatives,
                              const Jacobian& jacobian);

} // namespace tavrel::linear
