// The ODE solvers behind one narrow interface: adaptive explicit Dormand-Prince 5(4), the same
// tableau at a fixed step, and BDF for stiff systems. Output comes from the solver's dense
// output at the times asked for; the solver's own steps are not shortened for it.
#pragma once

#include "scenario.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tavrel::sim {

// The system y' = f(t, y). `rhs` returns 0 on success, a positive value for a recoverable
// failure (the solver retries with a smaller step) and a negative one to stop; it must not
// throw.
class OdeSystem {
  public:
    virtual ~OdeSystem() = default;
    virtual int rhs(double t, const double* y, double* ydot) noexcept = 0;
};

struct SolverError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The solver integrates in bursts of this many steps, so that its owner can look in on a long
// integration between them (a stop asked for, too much work) without touching the steps: a
// burst ends where the next would begin, and the integration goes on undisturbed.
inline constexpr long steps_per_burst = 100;

// Called after each burst that has not reached the output time; it may throw to give up.
using BurstCheck = std::function<void()>;

class OdeSolver {
  public:
    virtual ~OdeSolver() = default;
    // Integrates from the present time to `tout`; `y` receives the state at `tout`.
    virtual void advance(double tout, std::vector<double>& y, const BurstCheck& check = {}) = 0;
    // The state whose estimated local error, weighted by the tolerances, is the largest in the
    // last step: the one that holds the step size down. -1 if the solver cannot tell.
    virtual int limitingState() const = 0;
    // Restarts at (t, y), e.g. after an input changed discontinuously.
    virtual void restart(double t, const std::vector<double>& y) = 0;
    virtual long steps() const = 0;
    virtual long rhsEvaluations() const = 0;
};

std::unique_ptr<OdeSolver> createSolver(const SolverSettings& settings, OdeSystem& system,
                                        double t0, const std::vector<double>& y0);

} // namespace tavrel::sim
