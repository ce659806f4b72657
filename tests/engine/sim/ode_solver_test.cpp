// The solvers against problems with known solutions, apart from any block.
#include "ode_solver.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrel::sim;

namespace {

// y' = -k y
struct Decay : OdeSystem {
    double k = 0.7;
    int rhs(double, const double* y, double* ydot) noexcept override {
        ydot[0] = -k * y[0];
        return 0;
    }
};

// x'' = -w^2 x as two states.
struct Oscillator : OdeSystem {
    double w = 2.0;
    int rhs(double, const double* y, double* ydot) noexcept override {
        ydot[0] = y[1];
        ydot[1] = -w * w * y[0];
        return 0;
    }
};

SolverSettings settings(SolverKind kind) {
    SolverSettings s;
    s.kind = kind;
    s.rtol = 1e-9;
    s.atol = 1e-12;
    s.fixed_step = 1e-3;
    return s;
}

class Solvers : public ::testing::TestWithParam<SolverKind> {};

TEST_P(Solvers, ExponentialDecayAtEveryOutputTime) {
    Decay system;
    std::vector<double> y = {2.0};
    auto solver = createSolver(settings(GetParam()), system, 0.0, y);
    for (int i = 1; i <= 20; ++i) {
        const double t = 0.25 * i;
        solver->advance(t, y);
        EXPECT_NEAR(y[0], 2.0 * std::exp(-0.7 * t), 1e-6) << t;
    }
}

TEST_P(Solvers, HarmonicOscillatorKeepsPhaseAndAmplitude) {
    Oscillator system;
    std::vector<double> y = {1.0, 0.0};
    auto solver = createSolver(settings(GetParam()), system, 0.0, y);
    const double t = 10.0;
    solver->advance(t, y);
    EXPECT_NEAR(y[0], std::cos(2.0 * t), 1e-5);
    EXPECT_NEAR(y[1], -2.0 * std::sin(2.0 * t), 1e-5);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, Solvers,
                         ::testing::Values(SolverKind::dormand_prince, SolverKind::bdf,
                                           SolverKind::fixed_step));

// Output times come from dense output: the adaptive solver takes the same steps whatever the
// output interval.
TEST(DormandPrince, OutputTimesDoNotShortenTheSteps) {
    auto steps = [](int outputs) {
        Oscillator system;
        std::vector<double> y = {1.0, 0.0};
        auto solver = createSolver(settings(SolverKind::dormand_prince), system, 0.0, y);
        for (int i = 1; i <= outputs; ++i)
            solver->advance(10.0 * i / outputs, y);
        return solver->steps();
    };
    const long few = steps(2), many = steps(1000);
    EXPECT_LE(std::abs(many - few), few / 10) << few << " vs " << many;
}

TEST(DormandPrince, RecoverableFailureShrinksTheStepAndAStopEnds) {
    struct Picky : Decay {
        bool stop = false;
        int rhs(double t, const double* y, double* ydot) noexcept override {
            if (stop && t > 0.5) return -1;
            return Decay::rhs(t, y, ydot);
        }
    } system;
    std::vector<double> y = {1.0};
    auto solver = createSolver(settings(SolverKind::dormand_prince), system, 0.0, y);
    solver->advance(0.4, y);
    system.stop = true;
    EXPECT_THROW(solver->advance(1.0, y), SolverError);
}

TEST(Solvers, RestartContinuesFromTheGivenState) {
    Decay system;
    std::vector<double> y = {1.0};
    auto solver = createSolver(settings(SolverKind::dormand_prince), system, 0.0, y);
    solver->advance(1.0, y);
    y[0] = 3.0;
    solver->restart(1.0, y);
    solver->advance(2.0, y);
    EXPECT_NEAR(y[0], 3.0 * std::exp(-0.7), 1e-7);
}

} // namespace
