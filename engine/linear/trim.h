// The steady state nearest a starting state: Newton's method on the state derivatives.
#pragma once

#include "linearization.h"

#include <functional>
#include <vector>

namespace tavrel::linear {

using Derivatives = std::function<void(const std::vector<double>& x, std::vector<double>& xdot)>;
using Jacobian = std::function<Matrix(const std::vector<double>& x)>;

// x with dx/dt = 0 from `start`, by KINSOL's Newton iteration with a line search and the
// given Jacobian. Throws LinearizeError, with the residual reached, when it does not converge.
std::vector<double> trimState(const std::vector<double>& start, const Derivatives& derivatives,
                              const Jacobian& jacobian);

} // namespace tavrel::linear
