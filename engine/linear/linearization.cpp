#include "linearization.h"

#include "block_catalog.h"
#include "difference_steps.h"
#include "simulation.h"
#include "trim.h"
#include "well_declarations.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace tavrel::linear {

namespace {

sim::PortRef parsePort(const std::string& text, const char* what) {
    const auto dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) {
        throw LinearizeError(std::string(what) + " " + text + ": expected BLOCK.PORT");
    }
    return {text.substr(0, dot), text.substr(dot + 1)};
}

std::string portName(const sim::PortRef& port) { return port.block + "." + port.port; }

std::vector<sim::PortRef> chosenOutputs(const sim::Simulation& simulation,
                                        const std::vector<std::string>& names) {
    std::vector<sim::PortRef> ports;
    if (names.empty()) {
        for (const auto& column : simulation.columns())
            ports.push_back({column.block, column.port});
    }
    for (const auto& name : names)
        ports.push_back(parsePort(name, "output"));
    return ports;
}

// The wired system at a fixed time as f(x, u) -> (dx/dt, y), one evaluation at a time.
struct System {
    sim::Simulation& simulation;
    double t;
    size_t n, m, p;
    std::vector<double> xdot, y;

    void operator()(const std::vector<double>& x, const std::vector<double>& u) {
        simulation.evaluate(t, x.data(), u.data(), xdot.data(), y.data());
    }
};

// One column of [A; C] or [B; D]: the central difference of (dx/dt, y) in variable `v`.
template <class Perturb>
void centralColumn(System& system, double h, const Perturb& perturb, Matrix& F, Matrix& G,
                   size_t column) {
    perturb(+h);
    const std::vector<double> xdot_plus = system.xdot, y_plus = system.y;
    perturb(-h);
    for (size_t i = 0; i < system.n; ++i)
        F(i, column) = (xdot_plus[i] - system.xdot[i]) / (2 * h);
    for (size_t i = 0; i < system.p; ++i)
        G(i, column) = (y_plus[i] - system.y[i]) / (2 * h);
}

void checkFinite(const Matrix& M, const char* name, const std::vector<std::string>& rows,
                 const std::vector<std::string>& cols, const char* row_kind) {
    for (size_t r = 0; r < M.rows; ++r) {
        for (size_t c = 0; c < M.cols; ++c) {
            if (std::isfinite(M(r, c))) continue;
            throw LinearizeError(std::string("Jacobian entry ") + name + "(" + std::to_string(r) +
                                 "," + std::to_string(c) + ") is not finite: d " + row_kind + " " +
                                 rows[r] + " / d " + cols[c]);
        }
    }
}

double norm2(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v)
        sum += x * x;
    return std::sqrt(sum);
}

// 2L/c of the first block with a length and a sound speed, the round trip of a pressure wave.
double wavePeriod(const sim::Scenario& scenario) {
    for (const auto& block : scenario.blocks) {
        const int length = sim::paramIndex(block.description(), well::annulus_length.name);
        const int speed = sim::paramIndex(block.description(), well::sound_speed.name);
        if (length < 0 || speed < 0) continue;
        const auto& L = block.params[static_cast<size_t>(length)];
        const auto& c = block.params[static_cast<size_t>(speed)];
        if (!L.empty() && !c.empty() && c[0] > 0) return 2 * L[0] / c[0];
    }
    return 0;
}

// The state columns of [A; C] at (x, u): one central difference per state.
void stateColumns(System& system, const std::vector<double>& x, const std::vector<double>& u,
                  double step, const std::vector<std::string>& units, Matrix& A, Matrix& C) {
    A = Matrix(x.size(), x.size());
    C = Matrix(system.p, x.size());
    std::vector<double> xp = x;
    for (size_t j = 0; j < x.size(); ++j) {
        const double h = unitStepSize(step, x[j], units[j]);
        centralColumn(
            system, h,
            [&](double d) {
                xp[j] = x[j] + d;
                system(xp, u);
            },
            A, C, j);
        xp[j] = x[j];
    }
}

} // namespace

LinearModel linearize(const sim::Scenario& scenario, const LinearizeOptions& options) {
    const double end = scenario.start_time + scenario.duration;
    if (options.at && options.trim) throw LinearizeError("--at and --trim exclude each other");
    if (options.at && !(*options.at >= scenario.start_time && *options.at <= end)) {
        std::ostringstream message;
        message << "--at " << *options.at << ": outside the scenario's run (" << scenario.start_time
                << " to " << end << " s)";
        throw LinearizeError(message.str());
    }
    if (!(options.step > 0 && options.step < 1)) throw LinearizeError("step: must be in (0, 1)");

    sim::Simulation simulation(scenario);
    std::vector<sim::PortRef> inputs;
    for (const auto& name : options.inputs)
        inputs.push_back(parsePort(name, "input"));
    if (options.inputs.empty()) inputs = simulation.externalInputs();
    const std::vector<sim::PortRef> outputs = chosenOutputs(simulation, options.outputs);
    try {
        simulation.probe(outputs);
        // The request is checked on a copy before the run to --at, which may take long.
        if (options.at) {
            sim::Simulation check(scenario);
            check.openInputs(inputs);
        }
    } catch (const sim::SimulationError& error) {
        throw LinearizeError(error.what());
    }
    if (options.at) simulation.advanceTo(*options.at);

    LinearModel model;
    model.time = simulation.time();
    model.wave_period = wavePeriod(scenario);
    try {
        model.u0 = simulation.openInputs(inputs);
    } catch (const sim::SimulationError& error) {
        throw LinearizeError(error.what());
    }
    model.x0 = simulation.stateVector();
    model.states = simulation.stateNames();
    const std::vector<std::string> state_units = simulation.stateUnits();
    for (const auto& name : model.states)
        model.state_blocks.push_back(name.substr(0, name.find('.')));
    for (const auto& port : inputs) {
        model.inputs.push_back(portName(port));
        model.input_units.push_back(simulation.unit(port));
    }
    for (const auto& port : outputs) {
        model.outputs.push_back(portName(port));
        model.output_units.push_back(simulation.unit(port));
    }
    const size_t n = model.x0.size(), m = model.u0.size(), p = outputs.size();
    System system{simulation, model.time, n, m, p, std::vector<double>(n), std::vector<double>(p)};

    std::vector<double> scales;
    for (const auto& unit : state_units)
        scales.push_back(unitStep(unit).scale);
    if (options.trim) {
        model.x0 = trimState(
            model.x0, scales, model.states,
            [&](const std::vector<double>& x, std::vector<double>& xdot) {
                system(x, model.u0);
                xdot = system.xdot;
            },
            [&](const std::vector<double>& x) {
                Matrix A, C;
                stateColumns(system, x, model.u0, options.step, state_units, A, C);
                return A;
            });
    }
    system(model.x0, model.u0);
    model.y0 = system.y;
    model.residual = norm2(system.xdot);
    model.steady = scaledRate(system.xdot, scales) <= steady_rate;

    stateColumns(system, model.x0, model.u0, options.step, state_units, model.A, model.C);
    model.B = Matrix(n, m);
    model.D = Matrix(p, m);
    std::vector<double> x = model.x0, u = model.u0;
    for (size_t j = 0; j < m; ++j) {
        const double h = unitStepSize(options.step, model.u0[j], model.input_units[j]);
        centralColumn(
            system, h,
            [&](double d) {
                u[j] = model.u0[j] + d;
                system(x, u);
            },
            model.B, model.D, j);
        u[j] = model.u0[j];
    }
    checkFinite(model.A, "A", model.states, model.states, "rate of");
    checkFinite(model.B, "B", model.states, model.inputs, "rate of");
    checkFinite(model.C, "C", model.outputs, model.states, "output");
    checkFinite(model.D, "D", model.outputs, model.inputs, "output");
    return model;
}

} // namespace tavrel::linear
