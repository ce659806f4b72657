#include "simulation.h"

#include "block_catalog.h"
#include "block_instance.h"
#include "exact_number.h"
#include "ode_solver.h"
#include "plugin_cache.h"
#include "sources.h"
#include "vector_kernels.h"
#include "wiring.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

namespace tavrel::sim {

namespace {

using Clock = std::chrono::steady_clock;

std::string formatTime(double t) {
    std::ostringstream s;
    s.precision(9);
    s << t;
    return s.str();
}

} // namespace

struct Simulation::Impl : OdeSystem, SignalBoard {
    struct Block {
        const BlockConfig* config = nullptr;
        const BlockDescription* kind = nullptr;
        std::unique_ptr<host::BlockInstance> instance;
        std::vector<PortInfo> outputs;
        std::vector<std::unique_ptr<InputSource>> inputs; // one per input port
        std::vector<bool> feed_through;                   // per input port, as the block declared
        int state_offset = 0;
        int num_states = 0;
    };

    // A block's profile twin: the same plug-in and parameters but a sensor at every grid point.
    struct Twin {
        size_t block = 0;
        std::unique_ptr<host::BlockInstance> instance;
        size_t first_sensor = 0;
        size_t count = 0;
    };

    Scenario scenario;
    std::map<std::string, std::shared_ptr<host::Plugin>> plugins;
    std::vector<Block> blocks;
    std::vector<Twin> twins;
    std::vector<Column> profile_columns;
    bool profile_on = false;
    std::vector<int> order; // blocks in an order that respects direct feed-through
    int num_controller_states = 0;
    std::vector<double> y;
    double t = 0;
    long next_row = 1; // index of the next logged row after the start
    std::unique_ptr<OdeSolver> solver;
    bool solver_stale = false;
    std::vector<Column> columns;
    std::vector<Signal> column_signals;
    std::string console;
    RunStatistics stats;
    std::string rhs_failure; // why the last right-hand side failed
    WorkMarkers markers;
    std::vector<double> open_values;   // the open inputs' values (evaluate)
    std::vector<Signal> probes;        // the ports evaluate reports

    explicit Impl(const Scenario& s);

    // SignalBoard: the present value of a port.
    double value(const Signal& signal) const override {
        const auto& instance = *blocks[static_cast<size_t>(signal.block)].instance;
        return signal.is_output ? instance.outputs()[signal.port]
                                : const_cast<host::BlockInstance&>(instance).inputs()[signal.port];
    }

    Signal resolve(const PortRef& ref) const;
    void createBlocks();
    void createTwins();
    void bindInputs();
    void orderBlocks();
    void selectColumns();
    void initialize();

    void loadStates(const double* state);
    void setInputs(Block& b, double time, const double* state, bool feed_through);
    void evaluateOutputs(double time, const double* state);
    int rhs(double time, const double* state, double* ydot) noexcept override;
    void checkFinite(double time) const;

    // Makes a block method call, marked as the block's work.
    template <class Call> void inBlock(const Call& call) {
        const Marking mark(markers.block_method);
        call();
    }
    void collectConsole();
};

Simulation::Impl::Impl(const Scenario& s) : scenario(s) {
    createBlocks();
    bindInputs();
    orderBlocks();
    selectColumns();
    initialize();
    solver = createSolver(scenario.solver, *this, t, y);
}

Signal Simulation::Impl::resolve(const PortRef& ref) const {
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (blocks[b].config->name != ref.block) continue;
        for (size_t p = 0; p < blocks[b].outputs.size(); ++p) {
            if (blocks[b].outputs[p].name == ref.port) return {int(b), true, int(p)};
        }
        for (size_t p = 0; p < blocks[b].kind->inputs.size(); ++p) {
            if (blocks[b].kind->inputs[p].name == ref.port) return {int(b), false, int(p)};
        }
    }
    throw ScenarioError(scenario.source_name + ": no port \"" + ref.block + "." + ref.port + "\"");
}

void Simulation::Impl::createBlocks() {
    for (const auto& config : scenario.blocks) {
        Block b;
        b.config = &config;
        b.kind = &config.description();
        const std::string path = host::pluginPath(config.plugin, scenario.base_dir);
        auto& plugin = plugins[path];
        if (!plugin) plugin = host::openPluginOnce(path);
        b.instance = std::make_unique<host::BlockInstance>(plugin, config.params, config.name);
        b.outputs = outputPorts(*b.kind, config.params);
        if (static_cast<int>(b.outputs.size()) != b.instance->numOutputs() ||
            static_cast<int>(b.kind->inputs.size()) != b.instance->numInputs()) {
            throw SimulationError("block " + config.name + ": plug-in " + path +
                                  " declares ports other than those of " + config.kind);
        }
        b.num_states = b.instance->numStates();
        for (int p = 0; p < b.instance->numInputs(); ++p)
            b.feed_through.push_back(b.instance->directFeedThrough(p));
        blocks.push_back(std::move(b));
    }
}

// Blocks whose description has sensors bounded by a length (the grid's) and a grid of cells.
// Their twins are sized like any block; a sensor position the block refuses (outside the
// annulus) is refused for the run's own block first.
void Simulation::Impl::createTwins() {
    for (size_t index = 0; index < blocks.size(); ++index) {
        const Block& b = blocks[index];
        const BlockDescription& kind = *b.kind;
        const int sensors = kind.sensor_positions_param;
        if (sensors < 0 || kind.cells <= 0) continue;
        const auto rule = std::find_if(kind.rules.begin(), kind.rules.end(), [&](const ParamRule& r) {
            return r.kind == ParamRule::Kind::entries_within && r.param == sensors;
        });
        if (rule == kind.rules.end() || b.config->params[size_t(rule->other)].empty()) continue;
        const double length = b.config->params[size_t(rule->other)][0];
        // The grid points and the block's own sensors, so that the profile meets every sensor.
        ParamSet params = b.config->params;
        std::vector<double>& along = params[size_t(sensors)];
        for (int k = 0; k <= kind.cells; ++k) along.push_back(length * k / kind.cells);
        std::sort(along.begin(), along.end());
        along.erase(std::unique(along.begin(), along.end()), along.end());
        Twin twin;
        twin.block = index;
        const std::string path = host::pluginPath(b.config->plugin, scenario.base_dir);
        twin.instance = std::make_unique<host::BlockInstance>(plugins.at(path), params, b.config->name);
        const auto ports = outputPorts(kind, params);
        twin.count = params[size_t(sensors)].size();
        if (static_cast<int>(ports.size()) != twin.instance->numOutputs() || ports.size() < twin.count) {
            throw SimulationError("block " + b.config->name + ": its profile twin declares other ports");
        }
        twin.first_sensor = ports.size() - twin.count;
        twin.instance->initializeSampleTimes();
        twin.instance->initializeConditions();
        for (double x : params[size_t(sensors)]) {
            profile_columns.push_back({b.config->name + ".profile[" + exactNumber(x) + "]", "Pa",
                                       b.config->name, "profile", true});
        }
        twins.push_back(std::move(twin));
    }
}

void Simulation::Impl::bindInputs() {
    for (auto& b : blocks) {
        for (const auto& port : b.kind->inputs) {
            auto found = b.config->inputs.find(std::string(port.name));
            Source constant_zero;
            const Source& source = found == b.config->inputs.end() ? constant_zero : found->second;
            b.inputs.push_back(compileSource(
                source, [this](const PortRef& ref) { return resolve(ref); },
                num_controller_states));
        }
    }
}

void Simulation::Impl::orderBlocks() {
    std::vector<std::vector<int>> reads(blocks.size());
    for (size_t b = 0; b < blocks.size(); ++b) {
        for (size_t p = 0; p < blocks[b].inputs.size(); ++p) {
            if (!blocks[b].feed_through[p]) continue;
            const auto from = blocks[b].inputs[p]->dependencies();
            reads[b].insert(reads[b].end(), from.begin(), from.end());
        }
    }
    try {
        order = feedThroughOrder(reads);
    } catch (const LoopError& loop) {
        std::string names;
        for (int b : loop.blocks) {
            names += (names.empty() ? "" : ", ") + blocks[static_cast<size_t>(b)].config->name;
        }
        throw ScenarioError(scenario.source_name +
                            ": algebraic loop through direct feed-through inputs of blocks " +
                            names);
    }
}

// Every input and every written output of each block, in block order, filtered by the log.
void Simulation::Impl::selectColumns() {
    std::vector<Column> all;
    std::vector<Signal> signals;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const auto& block = blocks[b];
        const std::string& name = block.config->name;
        for (size_t p = 0; p < block.kind->inputs.size(); ++p) {
            const auto& port = block.kind->inputs[p];
            all.push_back({name + "." + std::string(port.name), std::string(port.unit), name,
                           std::string(port.name), false});
            signals.push_back({int(b), false, int(p)});
        }
        for (size_t p = 0; p < block.outputs.size(); ++p) {
            const auto& port = block.outputs[p];
            if (!port.written) continue;
            all.push_back({name + "." + port.name, port.unit, name, port.name, true});
            signals.push_back({int(b), true, int(p)});
        }
    }
    std::vector<std::string> names;
    for (const auto& column : all) names.push_back(column.name);
    try {
        for (size_t c : selectByPatterns(names, scenario.log)) {
            columns.push_back(all[c]);
            column_signals.push_back(signals[c]);
        }
    } catch (const UnmatchedPattern& unmatched) {
        throw ScenarioError(scenario.source_name + ": log.columns: " + unmatched.what());
    }
}

// The platform's start: sample times, initial conditions, a first outputs call at the start
// time (which may set a state, the initial choke opening); then the solver's state vector.
void Simulation::Impl::initialize() {
    t = scenario.start_time;
    int offset = 0;
    for (auto& b : blocks) {
        b.instance->initializeSampleTimes();
        b.instance->initializeConditions();
        b.state_offset = offset;
        offset += b.num_states;
    }
    y.assign(static_cast<size_t>(offset + num_controller_states), 0.0);
    for (int index : order) {
        Block& b = blocks[static_cast<size_t>(index)];
        setInputs(b, t, y.data(), true);
        b.instance->outputs(t);
    }
    for (auto& b : blocks) {
        for (auto& input : b.inputs) input->captureStart(*this);
        std::copy(b.instance->states(), b.instance->states() + b.num_states,
                  y.begin() + b.state_offset);
    }
    evaluateOutputs(t, y.data());
    collectConsole();
    checkFinite(t);
}

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
    for (auto& b : blocks) setInputs(b, time, state, false);
}

int Simulation::Impl::rhs(double time, const double* state, double* ydot) noexcept {
    const Marking mark(markers.host);
    try {
        evaluateOutputs(time, state);
        for (auto& b : blocks) inBlock([&] { b.instance->derivatives(time, ydot + b.state_offset); });
        const double* controller = state + (y.size() - static_cast<size_t>(num_controller_states));
        double* controller_rate = ydot + (y.size() - static_cast<size_t>(num_controller_states));
        for (auto& b : blocks) {
            for (auto& input : b.inputs) input->rates(time, controller, *this, controller_rate);
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

void Simulation::Impl::checkFinite(double time) const {
    for (const auto& b : blocks) {
        const double* x = b.instance->states();
        for (int i = 0; i < b.num_states; ++i) {
            if (!std::isfinite(x[i])) {
                throw SimulationError("block " + b.config->name + ": state " +
                                      stateName(*b.kind, i) + " is not finite at t = " +
                                      formatTime(time));
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
        throw SimulationError("cannot advance from t = " + formatTime(s.t) + " back to t = " +
                              formatTime(t_end));
    }
    if (s.solver_stale) {
        s.evaluateOutputs(s.t, s.y.data()); // the blocks back at the run's own state
        s.solver->restart(s.t, s.y);
        s.solver_stale = false;
    }
    const auto start = Clock::now();
    const double interval = s.scenario.output_interval;
    auto advance = [&](double target) {
        try {
            s.solver->advance(target, s.y);
        } catch (const SolverError& error) {
            throw SimulationError(s.rhs_failure.empty()
                                      ? std::string(error.what())
                                      : s.rhs_failure + " (" + error.what() + ")");
        }
        s.t = target;
        const Marking mark(s.markers.host);
        s.evaluateOutputs(s.t, s.y.data());
        s.checkFinite(s.t);
    };
    for (;;) {
        const double next = s.scenario.start_time + static_cast<double>(s.next_row) * interval;
        if (next > t_end + 1e-9 * interval) break;
        advance(next);
        ++s.next_row;
        if (sink) sink->row(s.t, loggedValues());
        if (profile) profile->row(s.t, profileValues());
    }
    if (s.t < t_end) advance(t_end);
    s.collectConsole();
    s.stats.steps = s.solver->steps();
    s.stats.total_seconds += std::chrono::duration<double>(Clock::now() - start).count();
}

void Simulation::setInput(const std::string& block, const std::string& port, double value) {
    Impl& s = *impl_;
    const Signal signal = s.resolve({block, port});
    if (signal.is_output) throw SimulationError(block + "." + port + " is an output port");
    auto& input = s.blocks[static_cast<size_t>(signal.block)].inputs[static_cast<size_t>(signal.port)];
    if (input->isConstant(value)) return; // unchanged: the solver continues undisturbed
    input = constantSource(value);
    s.solver_stale = true;
    s.evaluateOutputs(s.t, s.y.data());
}

double Simulation::output(const std::string& block, const std::string& port) const {
    return impl_->value(impl_->resolve({block, port}));
}

double Simulation::input(const std::string& block, const std::string& port) const {
    return output(block, port);
}

const std::vector<Column>& Simulation::profileColumns() {
    if (!impl_->profile_on) {
        impl_->createTwins();
        impl_->profile_on = true;
    }
    return impl_->profile_columns;
}

std::vector<double> Simulation::profileValues() {
    Impl& s = *impl_;
    std::vector<double> values;
    values.reserve(s.profile_columns.size());
    for (auto& twin : s.twins) {
        const auto& b = s.blocks[twin.block];
        host::BlockInstance& copy = *twin.instance;
        std::copy(b.instance->states(), b.instance->states() + b.num_states, copy.states());
        std::copy(b.instance->inputs(), b.instance->inputs() + b.instance->numInputs(), copy.inputs());
        s.inBlock([&] { copy.outputs(s.t); });
        copy.takeConsole(); // the block's own lines are the block's, not its twin's
        values.insert(values.end(), copy.outputs() + twin.first_sensor,
                      copy.outputs() + twin.first_sensor + twin.count);
    }
    return values;
}

std::vector<double> Simulation::loggedValues() const {
    std::vector<double> values(impl_->column_signals.size());
    for (size_t i = 0; i < values.size(); ++i) values[i] = impl_->value(impl_->column_signals[i]);
    return values;
}

std::vector<std::string> Simulation::stateNames() const {
    const Impl& s = *impl_;
    std::vector<std::string> names(s.y.size());
    const size_t controller_start = s.y.size() - static_cast<size_t>(s.num_controller_states);
    for (const auto& b : s.blocks) {
        for (int i = 0; i < b.num_states; ++i) {
            names[static_cast<size_t>(b.state_offset + i)] =
                b.config->name + "." + stateName(*b.kind, i);
        }
        for (size_t p = 0; p < b.inputs.size(); ++p) {
            const std::string input = b.config->name + "." + std::string(b.kind->inputs[p].name);
            for (int slot : b.inputs[p]->controllerSlots()) {
                names[controller_start + static_cast<size_t>(slot)] = input + ".integral";
            }
        }
    }
    return names;
}

std::vector<std::string> Simulation::stateUnits() const {
    std::vector<std::string> units(impl_->y.size());
    for (const auto& b : impl_->blocks) {
        const auto& kind = *b.kind;
        for (int i = 0; i < b.num_states; ++i) {
            const int extra = i - 2 * kind.cells;
            std::string unit = i < 2 * kind.cells ? "m/s" : ""; // the wave invariants
            if (extra >= 0 && static_cast<size_t>(extra) < kind.extra_states.size())
                unit = std::string(kind.extra_states[static_cast<size_t>(extra)].unit);
            units[static_cast<size_t>(b.state_offset + i)] = unit;
        }
    }
    return units;
}

const std::vector<double>& Simulation::stateVector() const { return impl_->y; }

std::vector<PortRef> Simulation::externalInputs() const {
    std::vector<PortRef> ports;
    for (const auto& b : impl_->blocks) {
        for (size_t p = 0; p < b.inputs.size(); ++p) {
            if (!b.inputs[p]->readsBlocks())
                ports.push_back({b.config->name, std::string(b.kind->inputs[p].name)});
        }
    }
    return ports;
}

std::vector<double> Simulation::openInputs(const std::vector<PortRef>& ports) {
    Impl& s = *impl_;
    std::vector<Signal> signals;
    for (const auto& port : ports) {
        const std::string name = port.block + "." + port.port;
        Signal signal;
        try {
            signal = s.resolve(port);
        } catch (const ScenarioError&) {
            throw SimulationError("input " + name + ": no such port");
        }
        if (signal.is_output) throw SimulationError("input " + name + ": an output port");
        if (s.blocks[static_cast<size_t>(signal.block)].inputs[static_cast<size_t>(signal.port)]
                ->readsBlocks()) {
            throw SimulationError("input " + name + ": fed by other blocks' ports");
        }
        signals.push_back(signal);
    }
    s.open_values.resize(ports.size());
    for (size_t k = 0; k < signals.size(); ++k) s.open_values[k] = s.value(signals[k]);
    for (size_t k = 0; k < signals.size(); ++k) {
        auto& block = s.blocks[static_cast<size_t>(signals[k].block)];
        block.inputs[static_cast<size_t>(signals[k].port)] = channelSource(&s.open_values[k]);
    }
    s.solver_stale = true;
    return s.open_values;
}

void Simulation::probe(const std::vector<PortRef>& ports) {
    std::vector<Signal> signals;
    for (const auto& port : ports) {
        try {
            signals.push_back(impl_->resolve(port));
        } catch (const ScenarioError&) {
            throw SimulationError("output " + port.block + "." + port.port + ": no such port");
        }
    }
    impl_->probes = std::move(signals);
}

std::string Simulation::unit(const PortRef& port) const {
    const Signal signal = impl_->resolve(port);
    const auto& b = impl_->blocks[static_cast<size_t>(signal.block)];
    return signal.is_output ? b.outputs[static_cast<size_t>(signal.port)].unit
                            : std::string(b.kind->inputs[static_cast<size_t>(signal.port)].unit);
}

void Simulation::evaluate(double t, const double* x, const double* u, double* xdot,
                          double* probes) {
    Impl& s = *impl_;
    std::copy(u, u + s.open_values.size(), s.open_values.begin());
    s.solver_stale = true;
    // A derivative that is not finite is returned as it is: the caller names the entry.
    if (s.rhs(t, x, xdot) < 0) throw SimulationError(s.rhs_failure);
    for (size_t k = 0; k < s.probes.size(); ++k) probes[k] = s.value(s.probes[k]);
}

RunStatistics runScenario(const Scenario& scenario, ResultSink& sink,
                          const std::function<void(double)>& progress,
                          const WorkMarkers& markers, ResultSink* profile) {
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
            const double target = i == chunks ? end
                                              : scenario.start_time + scenario.duration * i / chunks;
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
    return stats;
}

} // namespace tavrel::sim
