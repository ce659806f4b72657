// The simulation's setup: block instances from the scenario, their input sources, the
// feed-through order, the logged columns, and the blocks' start.
#include "simulation_impl.h"

#include "block_lifecycle.h"
#include "plugin_cache.h"

#include <algorithm>

namespace tavrel::sim {

Simulation::Impl::Impl(const Scenario& s) : scenario(s) {
    scenario.checkOneWell(); // a scenario changed since it was loaded
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

// The platform ends every block it started; an end that fails is not the run's failure.
Simulation::Impl::~Impl() {
    const auto end = [](host::BlockInstance& block) {
        try {
            host::endBlock(block);
        } catch (const std::exception&) {
        }
    };
    for (auto& b : blocks)
        if (b.started) end(*b.instance);
    for (auto& twin : twins)
        if (twin.started) end(*twin.instance);
}

void Simulation::Impl::createBlocks() {
    for (const auto& config : scenario.blocks) {
        Block b;
        b.config = &config;
        b.kind = &config.description();
        const std::string path = host::pluginPath(config.plugin, scenario.base_dir);
        auto& plugin = plugins[path];
        if (!plugin) plugin = host::openPluginOnce(path);
        b.instance = host::openBlock(plugin, config.params, config.name);
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
                           std::string(port.name), false, port.role});
            signals.push_back({int(b), false, int(p)});
        }
        for (size_t p = 0; p < block.outputs.size(); ++p) {
            const auto& port = block.outputs[p];
            if (!port.written) continue;
            all.push_back({name + "." + port.name, port.unit, name, port.name, true, port.role});
            signals.push_back({int(b), true, int(p)});
        }
    }
    std::vector<std::string> names;
    for (const auto& column : all)
        names.push_back(column.name);
    try {
        for (size_t c : selectByPatterns(names, scenario.log)) {
            columns.push_back(all[c]);
            column_signals.push_back(signals[c]);
        }
    } catch (const UnmatchedPattern& unmatched) {
        throw ScenarioError(scenario.source_name +
                            (scenario.log_line > 0 ? ":" + std::to_string(scenario.log_line) : "") +
                            ": log.columns: " + unmatched.what());
    }
}

// The blocks' start at the start time, in feed-through order so that each block's start
// inputs can read the first outputs of the blocks before it; then the solver's state vector
// from the states the starts left.
void Simulation::Impl::initialize() {
    t = scenario.start_time;
    int offset = 0;
    for (auto& b : blocks) {
        b.state_offset = offset;
        offset += b.num_states;
    }
    y.assign(static_cast<size_t>(offset + num_controller_states), 0.0);
    for (auto& b : blocks) {
        for (auto& input : b.inputs)
            input->switchAt(t); // the values of inputs that jumped before the start
    }
    for (int index : order) {
        Block& b = blocks[static_cast<size_t>(index)];
        host::startBlock(*b.instance, t,
                         [&](host::BlockInstance&) { setInputs(b, t, y.data(), true); });
        b.started = true;
    }
    for (auto& b : blocks) {
        for (auto& input : b.inputs)
            input->captureStart(*this);
        std::copy(b.instance->states(), b.instance->states() + b.num_states,
                  y.begin() + b.state_offset);
    }
    evaluateOutputs(t, y.data());
    collectConsole();
    checkFinite(t);
}

} // namespace tavrel::sim
