#include "trim.h"

#include <kinsol/kinsol.h>
#include <nvector/nvector_serial.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <cmath>
#include <memory>
#include <sstream>

namespace tavrel::linear {

namespace {

struct Problem {
    const Derivatives& derivatives;
    const Jacobian& jacobian;
    std::vector<double> x, xdot;
    std::string failure;
};

int residual(N_Vector x, N_Vector f, void* data) {
    auto& problem = *static_cast<Problem*>(data);
    const size_t n = problem.x.size();
    std::copy(N_VGetArrayPointer(x), N_VGetArrayPointer(x) + n, problem.x.begin());
    try {
        problem.derivatives(problem.x, problem.xdot);
    } catch (const std::exception& error) {
        problem.failure = error.what();
        return -1;
    }
    for (double v : problem.xdot) {
        if (!std::isfinite(v)) return 1; // recoverable: the line search steps back
    }
    std::copy(problem.xdot.begin(), problem.xdot.end(), N_VGetArrayPointer(f));
    return 0;
}

// The Jacobian by the same central differences as the linear model (KINSOL's own one-sided
// differences would see the choke's bisection).
int jacobian(N_Vector x, N_Vector, SUNMatrix J, void* data, N_Vector, N_Vector) {
    auto& problem = *static_cast<Problem*>(data);
    const size_t n = problem.x.size();
    std::vector<double> at(N_VGetArrayPointer(x), N_VGetArrayPointer(x) + n);
    try {
        const Matrix A = problem.jacobian(at);
        for (size_t r = 0; r < n; ++r) {
            for (size_t c = 0; c < n; ++c)
                SM_ELEMENT_D(J, r, c) = A(r, c);
        }
    } catch (const std::exception& error) {
        problem.failure = error.what();
        return -1;
    }
    return 0;
}

// The failure is reported once, as the trim's error, not on the console.
void quiet(int, const char*, const char*, char*, void*) {}

// Largest |dx/dt| accepted as steady.
constexpr double tolerance = 1e-7;

} // namespace

std::vector<double> trimState(const std::vector<double>& start, const Derivatives& derivatives,
                              const Jacobian& jacobian_of) {
    const auto n = static_cast<sunindextype>(start.size());
    Problem problem{derivatives, jacobian_of, start, std::vector<double>(start.size()), {}};
    SUNContext context = nullptr;
    if (SUNContext_Create(nullptr, &context) != 0) throw LinearizeError("trim: no solver context");
    N_Vector x = N_VNew_Serial(n, context);
    N_Vector scale = N_VNew_Serial(n, context);
    SUNMatrix J = SUNDenseMatrix(n, n, context);
    SUNLinearSolver solver = SUNLinSol_Dense(x, J, context);
    void* memory = KINCreate(context);
    std::copy(start.begin(), start.end(), N_VGetArrayPointer(x));
    N_VConst(1.0, scale);
    int flag = memory && solver ? KINInit(memory, residual, x) : -1;
    if (flag == 0) flag = KINSetUserData(memory, &problem);
    if (flag == 0) flag = KINSetErrHandlerFn(memory, quiet, nullptr);
    if (flag == 0) flag = KINSetLinearSolver(memory, solver, J);
    if (flag == 0) flag = KINSetJacFn(memory, jacobian);
    if (flag == 0) flag = KINSetFuncNormTol(memory, tolerance);
    if (flag == 0) flag = KINSetScaledStepTol(memory, 1e-13);
    if (flag == 0) flag = KINSetNumMaxIters(memory, 200);
    // States of very different sizes (an integral of a pressure error in Pa s beside openings):
    // no bound on a Newton step, the line search keeps it sound.
    if (flag == 0) flag = KINSetMaxNewtonStep(memory, 1e300);
    if (flag == 0) flag = KINSetMaxSetupCalls(memory, 1); // a fresh Jacobian every iteration
    if (flag == 0) flag = KINSetPrintLevel(memory, 0);
    if (flag == 0) flag = KINSol(memory, x, KIN_LINESEARCH, scale, scale);
    std::vector<double> result(N_VGetArrayPointer(x), N_VGetArrayPointer(x) + n);
    KINFree(&memory);
    SUNLinSolFree(solver);
    SUNMatDestroy(J);
    N_VDestroy(scale);
    N_VDestroy(x);
    SUNContext_Free(&context);
    if (flag < 0 || flag == KIN_STEP_LT_STPTOL) {
        // A step too small to go on is a success only where the residual is small already.
        derivatives(result, problem.xdot);
        double norm = 0;
        for (double v : problem.xdot)
            norm += v * v;
        norm = std::sqrt(norm);
        if (flag == KIN_STEP_LT_STPTOL && norm <= tolerance) return result;
        std::ostringstream message;
        message << "--trim: Newton's method found no steady state (KINSOL flag " << flag
                << ", ||dx/dt|| = " << norm << ")";
        if (!problem.failure.empty()) message << ": " << problem.failure;
        throw LinearizeError(message.str());
    }
    return result;
}

} // namespace tavrel::linear
