// The run: outputs and derivatives of the wired blocks for the solver, the checks after each
// step, and the logged rows.
#include "simulation_impl.h"

#include "plausibility.h"
#include "vector_kernels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace tavrel::sim {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

void Simulation::Impl::loadStates(const double* state) {
    for (auto& b : blocks) {
        std::memcpy(b.instance->states(), state + b.state_offset,
                    sizeof(double) * static_cast<size_t>(b.num_states));
    }
}

void Simulation::Impl::setInputs(Block& b, double time, const double* state, bool feed_through) {
    const double* controller = state + (y.size() - static_cast<size_t>(num_controller_states));
    double* in = b.instance->inputs();
    for (size_t p = 0; p < b.inputs.size(); ++p) {
        if (b.feed_through[p] == feed_through) {
            in[p] = b.inputs[p]->value(time, controller, *this);
        }
    }
}

// Outputs of every block in feed-through order, then the inputs the blocks read only in their
// derivatives, which may come from any block's outputs.
void Simulation::Impl::evaluateOutputs(double time, const double* state) {
    loadStates(state);
    for (int index : order) {
        Block& b = blocks[static_cast<size_t>(index)];
        setInputs(b, time, state, true);
        inBlock([&] { b.instance->outputs(time); });
    }
    for (auto& b : blocks)
        setInputs(b, time, state, false);
}

int Simulation::Impl::rhs(double time, const double* state, double* ydot) noexcept {
    const Marking mark(markers.host);
    try {
        evaluateOutputs(time, state);
        for (auto& b : blocks)
            inBlock([&] { b.instance->derivatives(time, ydot + b.state_offset); });
        const double* controller = state + (y.size() - static_cast<size_t>(num_controller_states));
        double* controller_rate = ydot + (y.size() - static_cast<size_t>(num_controller_states));
        for (auto& b : blocks) {
            for (auto& input : b.inputs)
                input->rates(time, controller, *this, controller_rate);
        }
        ++stats.rhs_evaluations;
        if (allFinite(ydot, y.size())) return 0;
        for (size_t i = 0; i < y.size(); ++i) {
            if (!std::isfinite(ydot[i])) {
                rhs_failure = "derivative of state " + std::to_string(i) + " is not finite";
                for (const auto& b : blocks) {
                    if (int(i) >= b.state_offset && int(i) < b.state_offset + b.num_states) {
                        rhs_failure = "block " + b.config->name + ": derivative of " +
                                      stateName(*b.kind, int(i) - b.state_offset) +
                                      " is not finite at t = " + formatTime(time);
                    }
                }
                return 1; // recoverable: the solver retries with a smaller step
            }
        }
        return 0;
    } catch (const std::exception& error) {
        rhs_failure = error.what();
        return -1;
    }
}

// Too many steps for one interval: the state that holds the step down names the stiff block.
std::string Simulation::Impl::tooMuchWork(double target) const {
    std::string message = "the solver took more than " +
                          std::to_string(scenario.solver.max_steps_per_interval) +
                          " steps without reaching t = " + formatTime(target);
    const int limiting = solver->limitingState();
    if (limiting >= 0) {
        message += "; the stiffest part is " + stateNames()[static_cast<size_t>(limiting)];
    }
    if (scenario.solver.kind == SolverKind::bdf) {
        return message + " (check that block's parameters for an unstable or extreme value)";
    }
    return message + " (a stiff block: try solver = \"bdf\" in [simulation], or check that " +
           "block's parameters)";
}

void Simulation::Impl::checkFinite(double time) const {
    for (const auto& b : blocks) {
        const double* x = b.instance->states();
        for (int i = 0; i < b.num_states; ++i) {
            if (!std::isfinite(x[i])) {
                throw SimulationError("block " + b.config->name + ": state " +
                                      stateName(*b.kind, i) +
                                      " is not finite at t = " + formatTime(time));
            }
        }
        const double* out = b.instance->outputs();
        for (size_t p = 0; p < b.outputs.size(); ++p) {
            if (!std::isfinite(out[p]) && b.outputs[p].written) {
                throw SimulationError("block " + b.config->name + ": output " + b.outputs[p].name +
                                      " is not finite at t = " + formatTime(time));
            }
        }
    }
}

void Simulation::Impl::collectConsole() {
    for (auto& b : blocks) {
        std::string text = b.instance->takeConsole();
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find('\n', start);
            const size_t stop = end == std::string::npos ? text.size() : end + 1;
            console += b.config->name + ": " + text.substr(start, stop - start);
            if (end == std::string::npos) console += '\n';
            start = stop;
        }
    }
}

double Simulation::Impl::nextSwitch() const {
    double next = std::numeric_limits<double>::infinity();
    for (const auto& b : blocks) {
        for (const auto& input : b.inputs)
            next = std::min(next, input->nextSwitch());
    }
    return next;
}

// Inputs that jump at the present time take their new values, and the solver starts again
// from here, as after setInput.
void Simulation::Impl::switchInputs() {
    bool changed = false;
    for (auto& b : blocks) {
        for (auto& input : b.inputs)
            changed = input->switchAt(t) || changed;
    }
    if (!changed) return;
    solver_stale = true;
    evaluateOutputs(t, y.data());
}

Simulation::Simulation(const Scenario& scenario) : impl_(std::make_unique<Impl>(scenario)) {}
Simulation::~Simulation() = default;

double Simulation::time() const { return impl_->t; }
const std::vector<Column>& Simulation::columns() const { return impl_->columns; }
const std::string& Simulation::console() const { return impl_->console; }
const RunStatistics& Simulation::statistics() const { return impl_->stats; }
void Simulation::markWork(const WorkMarkers& markers) { impl_->markers = markers; }

void Simulation::advanceTo(double t_end, ResultSink* sink, ResultSink* profile) {
    Impl& s = *impl_;
    if (!(t_end >= s.t)) {
        throw SimulationError("cannot advance from t = " + formatTime(s.t) +
                              " back to t = " + formatTime(t_end));
    }
    const auto start = Clock::now();
    const double interval = s.scenario.output_interval;
    auto advance = [&](double target) {
        if (s.solver_stale) {
            s.evaluateOutputs(s.t, s.y.data()); // the blocks back at the run's own state
            s.solver->restart(s.t, s.y);
            s.solver_stale = false;
        }
        long bursts = 0;
        auto between = [&] {
            if (sink) sink->poll();
            if (s.scenario.solver.kind != SolverKind::fixed_step &&
                ++bursts * steps_per_burst >= s.scenario.solver.max_steps_per_interval) {
                throw SimulationError(s.tooMuchWork(target));
            }
        };
        try {
            s.solver->advance(target, s.y, between);
        } catch (const SolverError& error) {
            s.solver_stale = true;
            throw SimulationError(s.rhs_failure.empty()
                                      ? std::string(error.what())
                                      : s.rhs_failure + " (" + error.what() + ")");
        } catch (...) {
            s.solver_stale = true; // a later advance starts again from the last whole interval
            throw;
        }
        s.t = target;
        const Marking mark(s.markers.host);
        s.evaluateOutputs(s.t, s.y.data());
        s.checkFinite(s.t);
    };
    for (;;) {
        const double next = s.scenario.start_time + static_cast<double>(s.next_row) * interval;
        const double jump = s.nextSwitch();
        if (jump < next && jump <= t_end) { // an input jumps between two rows
            advance(jump);
            s.switchInputs();
            continue;
        }
        if (next > t_end + 1e-9 * interval) break;
        advance(next);
        s.switchInputs();
        ++s.next_row;
        if (sink) sink->row(s.t, loggedValues());
        if (profile) profile->row(s.t, profileValues());
    }
    if (s.t < t_end) {
        advance(t_end);
        s.switchInputs();
    }
    s.collectConsole();
    s.stats.steps = s.solver->steps();
    s.stats.total_seconds += std::chrono::duration<double>(Clock::now() - start).count();
}

void Simulation::setInput(const std::string& block, const std::string& port, double value) {
    Impl& s = *impl_;
    const Signal signal = s.resolve({block, port});
    if (signal.is_output) throw SimulationError(block + "." + port + " is an output port");
    auto& input =
        s.blocks[static_cast<size_t>(signal.block)].inputs[static_cast<size_t>(signal.port)];
    if (input->isConstant(value)) return; // unchanged: the solver continues undisturbed
    auto& own = s.own_sources[{signal.block, signal.port}];
    if (!own) own = std::move(input);
    input = constantSource(value);
    s.solver_stale = true;
    s.evaluateOutputs(s.t, s.y.data());
}

double Simulation::sourceValue(const std::string& block, const std::string& port) const {
    const Impl& s = *impl_;
    const Signal signal = s.resolve({block, port});
    if (signal.is_output) throw SimulationError(block + "." + port + " is an output port");
    const auto own = s.own_sources.find({signal.block, signal.port});
    const InputSource& source =
        own != s.own_sources.end()
            ? *own->second
            : *s.blocks[static_cast<size_t>(signal.block)].inputs[static_cast<size_t>(signal.port)];
    const double* controller = s.y.data() + (s.y.size() - size_t(s.num_controller_states));
    return source.value(s.t, controller, s);
}

double Simulation::output(const std::string& block, const std::string& port) const {
    return impl_->value(impl_->resolve({block, port}));
}

double Simulation::input(const std::string& block, const std::string& port) const {
    return output(block, port);
}

std::vector<double> Simulation::loggedValues() const {
    std::vector<double> values(impl_->column_signals.size());
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = impl_->value(impl_->column_signals[i]);
    return values;
}

RunStatistics runScenario(const Scenario& scenario, ResultSink& sink,
                          const std::function<void(double)>& progress, const WorkMarkers& markers,
                          ResultSink* profile) {
    Simulation simulation(scenario);
    simulation.markWork(markers);
    sink.begin(simulation.columns());
    if (profile) profile->begin(simulation.profileColumns());
    try {
        sink.row(simulation.time(), simulation.loggedValues());
        if (profile) profile->row(simulation.time(), simulation.profileValues());
        const double end = scenario.start_time + scenario.duration;
        const int chunks = progress ? 100 : 1;
        for (int i = 1; i <= chunks; ++i) {
            const double target =
                i == chunks ? end : scenario.start_time + scenario.duration * i / chunks;
            simulation.advanceTo(target, &sink, profile);
            if (progress) progress(static_cast<double>(i) / chunks);
        }
    } catch (...) {
        sink.end(); // keep and flush what was logged
        if (profile) profile->end();
        throw;
    }
    sink.end();
    if (profile) profile->end();
    RunStatistics stats = simulation.statistics();
    stats.console = simulation.console();
    stats.warnings = runWarnings(scenario);
    return stats;
}

} // namespace tavrel::sim
