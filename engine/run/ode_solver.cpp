#include "ode_solver.h"

#include "vector_kernels.h"

#include <arkode/arkode_erkstep.h>
#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace tavrel::sim {

namespace {

// RAII owners of the solver library's objects.
struct ContextDeleter {
    void operator()(SUNContext c) const { SUNContext_Free(&c); }
};
struct VectorDeleter {
    void operator()(N_Vector v) const { N_VDestroy(v); }
};
struct MatrixDeleter {
    void operator()(SUNMatrix m) const { SUNMatDestroy(m); }
};
struct LinearSolverDeleter {
    void operator()(SUNLinearSolver s) const { SUNLinSolFree(s); }
};
using Context = std::unique_ptr<std::remove_pointer_t<SUNContext>, ContextDeleter>;
using Vector = std::unique_ptr<std::remove_pointer_t<N_Vector>, VectorDeleter>;
using Matrix = std::unique_ptr<std::remove_pointer_t<SUNMatrix>, MatrixDeleter>;
using LinearSolver = std::unique_ptr<std::remove_pointer_t<SUNLinearSolver>, LinearSolverDeleter>;

// Every call into the solver library is checked; a failure names the call and its code, and
// the last message the library reported.
class Checked {
  public:
    void operator()(int flag, const char* call) const {
        if (flag < 0) {
            throw SolverError(std::string(call) + " failed (code " + std::to_string(flag) + ")" +
                              (message_.empty() ? "" : ": " + message_));
        }
    }
    static void handler(int, const char*, const char* function, char* msg, void* self) {
        static_cast<Checked*>(self)->message_ = std::string(function) + ": " + msg;
    }
    void forget() { message_.clear(); } // after a report that was not a failure

  private:
    std::string message_;
};

// Owner of an integrator's memory block, freed by the library's own function.
template <void (*Free)(void**)> class SolverMemory {
  public:
    SolverMemory() = default;
    SolverMemory(const SolverMemory&) = delete;
    SolverMemory& operator=(const SolverMemory&) = delete;
    ~SolverMemory() {
        if (memory_) Free(&memory_);
    }
    void reset(void* memory) { memory_ = memory; }
    void* get() const { return memory_; }

  private:
    void* memory_ = nullptr;
};

Context makeContext() {
    SUNContext raw = nullptr;
    if (SUNContext_Create(nullptr, &raw) != 0) throw SolverError("SUNContext_Create failed");
    return Context(raw);
}

Vector makeVector(const std::vector<double>& values, SUNContext context) {
    N_Vector v = N_VNew_Serial(static_cast<sunindextype>(values.size()), context);
    if (!v) throw SolverError("N_VNew_Serial failed");
    std::copy(values.begin(), values.end(), N_VGetArrayPointer(v));
    // Fused vector operations (one pass where the integrator combines vectors), computed by
    // the host's own kernels.
    N_VEnableFusedOps_Serial(v, SUNTRUE);
    useHostVectorKernels(v);
    return Vector(v);
}

// What the solver library hands to the functions below.
struct UserData {
    OdeSystem* system;
    double rtol;
    double atol;
};

int systemRhs(sunrealtype t, N_Vector y, N_Vector ydot, void* user_data) {
    return static_cast<UserData*>(user_data)->system->rhs(t, N_VGetArrayPointer(y),
                                                          N_VGetArrayPointer(ydot));
}

// The library's own weights for scalar tolerances, computed in one pass.
int errorWeights(N_Vector y, N_Vector weights, void* user_data) {
    const auto* data = static_cast<UserData*>(user_data);
    scalarToleranceWeights(data->rtol, data->atol, y, weights);
    return 0;
}

void copyOut(N_Vector v, std::vector<double>& y) {
    const double* data = N_VGetArrayPointer(v);
    std::copy(data, data + y.size(), y.begin());
}

// Integrates to `tout` in bursts: `evolve` returns `too_much_work` when a burst ended before
// `tout`, and the library continues from there on the next call.
template <typename Evolve>
void evolveInBursts(Evolve evolve, int too_much_work, Checked& check, const char* call,
                    const BurstCheck& between) {
    for (;;) {
        const int flag = evolve();
        if (flag != too_much_work) {
            check(flag, call);
            return;
        }
        check.forget();
        if (between) between();
    }
}

// The component with the largest weighted local error estimate, from the library's getters.
template <typename Errors, typename Weights>
int largestWeightedError(void* memory, N_Vector like, Errors errors, Weights weights) {
    const Vector e(N_VClone(like));
    const Vector w(N_VClone(like));
    if (!e || !w || errors(memory, e.get()) < 0 || weights(memory, w.get()) < 0) return -1;
    const double* ep = N_VGetArrayPointer(e.get());
    const double* wp = N_VGetArrayPointer(w.get());
    int largest = -1;
    double most = 0;
    for (sunindextype i = 0; i < N_VGetLength(like); ++i) {
        const double weighted = std::abs(ep[i] * wp[i]);
        if (weighted > most) {
            most = weighted;
            largest = static_cast<int>(i);
        }
    }
    return largest;
}

// Explicit Runge-Kutta with the Dormand-Prince 5(4) tableau, adaptive or at a fixed step.
class ErkSolver : public OdeSolver {
  public:
    ErkSolver(const SolverSettings& s, OdeSystem& system, double t0, const std::vector<double>& y0)
        : user_data_{&system, s.rtol, s.atol}, context_(makeContext()),
          y_(makeVector(y0, context_.get())) {
        memory_.reset(ERKStepCreate(systemRhs, t0, y_.get(), context_.get()));
        if (!memory_.get()) throw SolverError("ERKStepCreate failed");
        check_(ERKStepSetErrHandlerFn(memory_.get(), &Checked::handler, &check_),
               "ERKStepSetErrHandlerFn");
        check_(ERKStepSetUserData(memory_.get(), &user_data_), "ERKStepSetUserData");
        check_(ERKStepSetTableNum(memory_.get(), ARKODE_DORMAND_PRINCE_7_4_5),
               "ERKStepSetTableNum");
        if (s.atol > 0)
            check_(ERKStepWFtolerances(memory_.get(), errorWeights), "ERKStepWFtolerances");
        else
            check_(ERKStepSStolerances(memory_.get(), s.rtol, s.atol), "ERKStepSStolerances");
        check_(ERKStepSetMaxNumSteps(memory_.get(), steps_per_burst), "ERKStepSetMaxNumSteps");
        if (s.kind == SolverKind::fixed_step) {
            check_(ERKStepSetFixedStep(memory_.get(), s.fixed_step), "ERKStepSetFixedStep");
        } else if (s.max_step > 0) {
            check_(ERKStepSetMaxStep(memory_.get(), s.max_step), "ERKStepSetMaxStep");
        }
    }

    void advance(double tout, std::vector<double>& y, const BurstCheck& between) override {
        double t = 0;
        evolveInBursts([&] { return ERKStepEvolve(memory_.get(), tout, y_.get(), &t, ARK_NORMAL); },
                       ARK_TOO_MUCH_WORK, check_, "ERKStepEvolve", between);
        copyOut(y_.get(), y);
    }
    int limitingState() const override {
        return largestWeightedError(memory_.get(), y_.get(), ERKStepGetEstLocalErrors,
                                    ERKStepGetErrWeights);
    }
    void restart(double t, const std::vector<double>& y) override {
        std::copy(y.begin(), y.end(), N_VGetArrayPointer(y_.get()));
        check_(ERKStepReInit(memory_.get(), systemRhs, t, y_.get()), "ERKStepReInit");
    }
    long steps() const override {
        long n = 0;
        ERKStepGetNumSteps(memory_.get(), &n);
        return n;
    }
    long rhsEvaluations() const override {
        long n = 0;
        ERKStepGetNumRhsEvals(memory_.get(), &n);
        return n;
    }

  private:
    UserData user_data_;
    Checked check_;
    Context context_;
    Vector y_;
    SolverMemory<ERKStepFree> memory_;
};

// Variable-order BDF with a dense direct linear solver and a difference-quotient Jacobian.
class BdfSolver : public OdeSolver {
  public:
    BdfSolver(const SolverSettings& s, OdeSystem& system, double t0, const std::vector<double>& y0)
        : user_data_{&system, s.rtol, s.atol}, context_(makeContext()),
          y_(makeVector(y0, context_.get())) {
        const auto n = static_cast<sunindextype>(y0.size());
        memory_.reset(CVodeCreate(CV_BDF, context_.get()));
        if (!memory_.get()) throw SolverError("CVodeCreate failed");
        check_(CVodeSetErrHandlerFn(memory_.get(), &Checked::handler, &check_),
               "CVodeSetErrHandlerFn");
        check_(CVodeInit(memory_.get(), systemRhs, t0, y_.get()), "CVodeInit");
        check_(CVodeSetUserData(memory_.get(), &user_data_), "CVodeSetUserData");
        check_(CVodeSStolerances(memory_.get(), s.rtol, s.atol), "CVodeSStolerances");
        check_(CVodeSetMaxNumSteps(memory_.get(), steps_per_burst), "CVodeSetMaxNumSteps");
        if (s.max_step > 0) check_(CVodeSetMaxStep(memory_.get(), s.max_step), "CVodeSetMaxStep");
        matrix_.reset(SUNDenseMatrix(n, n, context_.get()));
        linear_solver_.reset(SUNLinSol_Dense(y_.get(), matrix_.get(), context_.get()));
        if (!matrix_ || !linear_solver_) throw SolverError("dense linear solver creation failed");
        check_(CVodeSetLinearSolver(memory_.get(), linear_solver_.get(), matrix_.get()),
               "CVodeSetLinearSolver");
    }

    void advance(double tout, std::vector<double>& y, const BurstCheck& between) override {
        double t = 0;
        evolveInBursts([&] { return CVode(memory_.get(), tout, y_.get(), &t, CV_NORMAL); },
                       CV_TOO_MUCH_WORK, check_, "CVode", between);
        copyOut(y_.get(), y);
    }
    int limitingState() const override {
        return largestWeightedError(memory_.get(), y_.get(), CVodeGetEstLocalErrors,
                                    CVodeGetErrWeights);
    }
    void restart(double t, const std::vector<double>& y) override {
        std::copy(y.begin(), y.end(), N_VGetArrayPointer(y_.get()));
        check_(CVodeReInit(memory_.get(), t, y_.get()), "CVodeReInit");
    }
    long steps() const override {
        long n = 0;
        CVodeGetNumSteps(memory_.get(), &n);
        return n;
    }
    long rhsEvaluations() const override {
        long n = 0, jac = 0;
        CVodeGetNumRhsEvals(memory_.get(), &n);
        CVodeGetNumLinRhsEvals(memory_.get(), &jac);
        return n + jac;
    }

  private:
    UserData user_data_;
    Checked check_;
    Context context_;
    Vector y_;
    Matrix matrix_;
    LinearSolver linear_solver_;
    SolverMemory<CVodeFree> memory_; // freed first: it refers to the linear solver
};

} // namespace

std::unique_ptr<OdeSolver> createSolver(const SolverSettings& settings, OdeSystem& system,
                                        double t0, const std::vector<double>& y0) {
    if (settings.kind == SolverKind::bdf) {
        return std::make_unique<BdfSolver>(settings, system, t0, y0);
    }
    return std::make_unique<ErkSolver>(settings, system, t0, y0);
}

} // namespace tavrel::sim
