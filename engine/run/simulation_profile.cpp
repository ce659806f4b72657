// The pressure profile: a twin of each block with sensors on a grid, with a sensor at every
// grid point, evaluated at the block's own states and inputs.
#include "simulation_impl.h"

#include "block_lifecycle.h"
#include "exact_number.h"

#include <algorithm>

namespace tavrel::sim {

// Blocks whose description has sensors bounded by a length (the grid's) and a grid of cells.
// Their twins are sized like any block; a sensor position the block refuses (outside the
// annulus) is refused for the run's own block first.
void Simulation::Impl::createTwins() {
    for (size_t index = 0; index < blocks.size(); ++index) {
        const Block& b = blocks[index];
        const BlockDescription& kind = *b.kind;
        const int sensors = kind.sensor_positions_param;
        if (sensors < 0 || kind.cells <= 0) continue;
        const auto rule =
            std::find_if(kind.rules.begin(), kind.rules.end(), [&](const ParamRule& r) {
                return r.kind == ParamRule::Kind::entries_within && r.param == sensors;
            });
        if (rule == kind.rules.end() || b.config->params[size_t(rule->other)].empty()) continue;
        const double length = b.config->params[size_t(rule->other)][0];
        // The grid points and the block's own sensors, so that the profile meets every sensor.
        ParamSet params = b.config->params;
        std::vector<double>& along = params[size_t(sensors)];
        for (int k = 0; k <= kind.cells; ++k)
            along.push_back(length * k / kind.cells);
        std::sort(along.begin(), along.end());
        along.erase(std::unique(along.begin(), along.end()), along.end());
        Twin twin;
        twin.block = index;
        const std::string path = host::pluginPath(b.config->plugin, scenario.base_dir);
        twin.instance = host::openBlock(plugins.at(path), params, b.config->name);
        const auto ports = outputPorts(kind, params);
        twin.count = params[size_t(sensors)].size();
        if (static_cast<int>(ports.size()) != twin.instance->numOutputs() ||
            ports.size() < twin.count) {
            throw SimulationError("block " + b.config->name +
                                  ": its profile twin declares other ports");
        }
        twin.first_sensor = ports.size() - twin.count;
        for (double x : params[size_t(sensors)]) {
            profile_columns.push_back({b.config->name + ".profile[" + exactNumber(x) + "]", "Pa",
                                       b.config->name, "profile", true});
        }
        twins.push_back(std::move(twin));
    }
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
        const auto take_block_point = [&](host::BlockInstance& twin_instance) {
            std::copy(b.instance->states(), b.instance->states() + b.num_states,
                      twin_instance.states());
            std::copy(b.instance->inputs(), b.instance->inputs() + b.instance->numInputs(),
                      twin_instance.inputs());
        };
        s.inBlock([&] {
            if (twin.started) {
                take_block_point(copy);
                copy.outputs(s.t);
            } else { // its start, from the block's own point instead of its initial conditions
                host::startBlock(copy, s.t, take_block_point);
                twin.started = true;
            }
        });
        copy.takeConsole(); // the block's own lines are the block's, not its twin's
        values.insert(values.end(), copy.outputs() + twin.first_sensor,
                      copy.outputs() + twin.first_sensor + twin.count);
    }
    return values;
}

} // namespace tavrel::sim
