#include "trim.h"

#include <kinsol/kinsol.h>
#include <nvector/nvector_serial.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sstream>

namespace tavrel::linear {

namespace {

// One implicit Euler step of pseudo-time dt from `from`: G(x) = dx/dt(x) - (x - from)/dt = 0.
// Its Jacobian A - I/dt is regular where A is not (a state nothing else depends on, a rate
// limit that holds the choke's rate constant, a weight that adapts to nothing at rest), and
// the step moves such states as the run would; as dt grows the step becomes Newton's.
struct Step {
    const Derivatives& derivatives;
    const Jacobian& jacobian;
    std::vector<double> from;
    double dt = 1;
    std::vector<double> x, xdot;
    std::string failure;
};

int residual(N_Vector x, N_Vector g, void* data) {
    auto& step = *static_cast<Step*>(data);
    const size_t n = step.x.size();
    std::copy(N_VGetArrayPointer(x), N_VGetArrayPointer(x) + n, step.x.begin());
    try {
        step.derivatives(step.x, step.xdot);
    } catch (const std::exception& error) {
        step.failure = error.what();
        return -1;
    }
    double* out = N_VGetArrayPointer(g);
    for (size_t i = 0; i < n; ++i) {
        out[i] = step.xdot[i] - (step.x[i] - step.from[i]) / step.dt;
        if (!std::isfinite(out[i])) return 1; // the pseudo-time step is shortened
    }
    return 0;
}

// The Jacobian by the same central differences as the linear model (KINSOL's own one-sided
// differences would see the choke's bisection).
int jacobian(N_Vector x, N_Vector, SUNMatrix J, void* data, N_Vector, N_Vector) {
    auto& step = *static_cast<Step*>(data);
    const size_t n = step.x.size();
    std::vector<double> at(N_VGetArrayPointer(x), N_VGetArrayPointer(x) + n);
    try {
        const Matrix A = step.jacobian(at);
        for (size_t r = 0; r < n; ++r) {
            for (size_t c = 0; c < n; ++c)
                SM_ELEMENT_D(J, r, c) = A(r, c) - (r == c ? 1 / step.dt : 0);
        }
    } catch (const std::exception& error) {
        step.failure = error.what();
        return -1;
    }
    return 0;
}

// The failure is reported once, as the trim's error, not on the console.
void quiet(int, const char*, const char*, char*, void*) {}

// One Newton step of KINSOL on a pseudo-time step, the states and residuals scaled by the
// states' scales; false when KINSOL gives up. The full step, without KINSOL's line search: far
// from steady the choke actuator sits on its rate limit, whose row of A is zero, and the line
// search cut its step to a thousandth as the waves answered; the pseudo-time step's length is
// what keeps a step sound here (shortened when the rate rises).
bool solveStep(Step& step, std::vector<double>& x, const std::vector<double>& scales) {
    const auto n = static_cast<sunindextype>(x.size());
    SUNContext context = nullptr;
    if (SUNContext_Create(nullptr, &context) != 0) throw LinearizeError("trim: no solver context");
    N_Vector y = N_VNew_Serial(n, context);
    N_Vector scale = N_VNew_Serial(n, context);
    SUNMatrix J = SUNDenseMatrix(n, n, context);
    SUNLinearSolver solver = SUNLinSol_Dense(y, J, context);
    void* memory = KINCreate(context);
    std::copy(x.begin(), x.end(), N_VGetArrayPointer(y));
    for (size_t i = 0; i < x.size(); ++i)
        N_VGetArrayPointer(scale)[i] = 1 / scales[i];
    int flag = memory && solver ? KINInit(memory, residual, y) : -1;
    if (flag == 0) flag = KINSetUserData(memory, &step);
    if (flag == 0) flag = KINSetErrHandlerFn(memory, quiet, nullptr);
    if (flag == 0) flag = KINSetLinearSolver(memory, solver, J);
    if (flag == 0) flag = KINSetJacFn(memory, jacobian);
    if (flag == 0) flag = KINSetFuncNormTol(memory, steady_rate / 10);
    if (flag == 0) flag = KINSetScaledStepTol(memory, 1e-14);
    if (flag == 0) flag = KINSetNumMaxIters(memory, 1);   // one Newton step per pseudo-time step
    if (flag == 0) flag = KINSetMaxSetupCalls(memory, 1); // a fresh Jacobian every iteration
    if (flag == 0) flag = KINSetPrintLevel(memory, 0);
    if (flag == 0) flag = KINSol(memory, y, KIN_NONE, scale, scale);
    // Short of the step's own tolerance, the point reached is still a better one to go on from.
    const bool moved = flag >= 0 || flag == KIN_MAXITER_REACHED || flag == KIN_LINESEARCH_NONCONV;
    if (moved) std::copy(N_VGetArrayPointer(y), N_VGetArrayPointer(y) + n, x.begin());
    KINFree(&memory);
    SUNLinSolFree(solver);
    SUNMatDestroy(J);
    N_VDestroy(scale);
    N_VDestroy(y);
    SUNContext_Free(&context);
    return moved;
}

// Pseudo-time steps at most, steps in a row that may fail to halve the rate before the
// search stops, and the first, longest and shortest step [s].
constexpr int max_steps = 300, patience = 30;
constexpr double first_dt = 1, longest_dt = 1e9, shortest_dt = 1e-6;

} // namespace

double scaledRate(const std::vector<double>& xdot, const std::vector<double>& scales) {
    double rate = 0;
    for (size_t i = 0; i < xdot.size(); ++i)
        rate = std::max(rate, std::fabs(xdot[i]) / scales[i]);
    return rate;
}

std::vector<double> trimState(const std::vector<double>& start, const std::vector<double>& scales,
                              const std::vector<std::string>& names, const Derivatives& derivatives,
                              const Jacobian& jacobian_of) {
    Step step{derivatives, jacobian_of, start, first_dt, start, std::vector<double>(start.size()),
              {}};
    std::vector<double> x = start, xdot(start.size());
    derivatives(x, xdot);
    double rate = scaledRate(xdot, scales);
    // Switched evolution relaxation: the pseudo-time step grows as the rate falls. A rate that
    // stops falling (a pump filling a closed well) means there is no steady state to find.
    double best = rate;
    int since_best = 0;
    for (int k = 0; k < max_steps && rate > steady_rate && since_best < patience; ++k) {
        std::vector<double> next = x;
        step.from = x;
        const bool moved = solveStep(step, next, scales);
        derivatives(next, xdot);
        const double next_rate = scaledRate(xdot, scales);
        if (!moved || !std::isfinite(next_rate)) {
            step.dt /= 10;
            if (step.dt < shortest_dt) break;
            continue;
        }
        // A slow transient (a well filling after its choke closed) falls too slowly for the
        // ratio alone to lengthen the step: a step that lowered the rate at least doubles.
        const double ratio = rate / next_rate;
        const double growth = ratio >= 1 ? std::clamp(ratio, 2.0, 10.0) : std::max(ratio, 0.1);
        step.dt = std::clamp(step.dt * growth, shortest_dt, longest_dt);
        x = std::move(next);
        rate = next_rate;
        if (rate < best / 2) {
            best = rate;
            since_best = 0;
        } else {
            ++since_best;
        }
    }
    derivatives(x, xdot);
    if (scaledRate(xdot, scales) <= steady_rate) return x;
    size_t worst = 0;
    for (size_t i = 0; i < xdot.size(); ++i) {
        if (std::fabs(xdot[i]) / scales[i] > std::fabs(xdot[worst]) / scales[worst]) worst = i;
    }
    std::ostringstream message;
    message << "--trim: found no steady state: " << names[worst] << " still changes at "
            << xdot[worst] << " per s (||dx/dt|| = "
            << std::sqrt(std::inner_product(xdot.begin(), xdot.end(), xdot.begin(), 0.0))
            << "); a scenario whose inputs at the operating time keep a state moving has none";
    if (!step.failure.empty()) message << ": " << step.failure;
    throw LinearizeError(message.str());
}

} // namespace tavrel::linear
