// Linear models of a wired scenario: the operating point (the initial state, the run's own
// state at a time, or a steady state found by Newton) and the matrices A B C D of
//     d(dx)/dt = A dx + B du,   dy = C dx + D du
// by central differences through the blocks' own methods and the scenario's wiring.
#pragma once

#include "difference_steps.h"
#include "scenario.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::linear {

// A bad request or a model that cannot be linearised; one line naming the item.
struct LinearizeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Dense, row-major.
struct Matrix {
    size_t rows = 0, cols = 0;
    std::vector<double> values;
    Matrix() = default;
    Matrix(size_t r, size_t c) : rows(r), cols(c), values(r * c, 0.0) {}
    double& operator()(size_t r, size_t c) { return values[r * cols + c]; }
    double operator()(size_t r, size_t c) const { return values[r * cols + c]; }
};

struct LinearModel {
    Matrix A, B, C, D;
    std::vector<double> x0, u0, y0;
    std::vector<std::string> states;       // "rig.w_up[0]", ..., "rig.choke_setpoint.integral"
    std::vector<std::string> inputs;       // "rig.displacer_velocity"
    std::vector<std::string> outputs;      // "rig.bottom_pressure"
    std::vector<std::string> state_blocks; // the block each state belongs to
    std::vector<std::string> input_units, output_units;
    double time = 0;        // of the operating point [s]
    double residual = 0;    // ||dx/dt|| (2-norm) at the operating point
    bool steady = false;    // every state's rate below steady_rate of its scale (trim.h)
    double wave_period = 0; // 2L/c of the first block that describes a well; 0 if none
};

struct LinearizeOptions {
    std::vector<std::string> inputs;  // "BLOCK.PORT"; empty: every input port no block feeds
    std::vector<std::string> outputs; // "BLOCK.PORT"; empty: the logged columns
    std::optional<double> at;         // the run's own state at this time
    bool trim = false;                // the steady state nearest the initial one
    // Relative size of the central-difference steps (difference_steps.h).
    double step = default_relative_step;
};

LinearModel linearize(const sim::Scenario& scenario, const LinearizeOptions& options);

} // namespace tavrel::linear
