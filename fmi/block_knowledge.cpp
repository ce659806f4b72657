#include "block_knowledge.h"

#include "block_catalog.h"
#include "block_descriptions.h"

#include <algorithm>
#include <stdexcept>

namespace tavrel::fmi {

namespace {

const tavrel::BlockDescription& descriptionOf(const std::string& block) {
    const tavrel::BlockDescription* d = host::findDescription(block);
    if (!d) throw std::runtime_error("block " + block + " has no description to export");
    return *d;
}

void checkParamSet(const tavrel::BlockDescription& d, const host::ParamValues& params) {
    const std::string block(d.name);
    if (params.size() != d.params.size())
        throw std::runtime_error("block " + block + " has " + std::to_string(d.params.size()) +
                                 " dialog parameters, " + std::to_string(params.size()) + " given");
    const auto problems = sim::checkParams(d, params);
    if (!problems.empty())
        throw std::runtime_error("block " + block + ", parameter " + problems.front().param + ": " +
                                 problems.front().rule);
}

DescribedVariable described(const auto& entry) {
    return {std::string(entry.name), std::string(entry.unit), std::string(entry.meaning)};
}

DescribedParam describedParam(const tavrel::BlockDescription& d, int k) {
    const tavrel::ParamDescription& p = d.params[static_cast<std::size_t>(k)];
    DescribedParam param;
    static_cast<DescribedVariable&>(param) = described(p);
    param.shape = k == d.num_fixed_outputs_param ? LayoutShape::structural
                  : p.isVector()                 ? LayoutShape::vector
                                                 : LayoutShape::scalar;
    if (!p.isRead() && !param.name.empty()) param.description += " (not read by this block)";
    return param;
}

// The wave states have no entry of their own in a description: "w_up[k]" and "w_down[k]",
// in m/s.
DescribedVariable describedState(const tavrel::BlockDescription& d, int s) {
    const auto extra = static_cast<std::size_t>(s - 2 * d.cells);
    if (s >= 2 * d.cells && extra < d.extra_states.size()) return described(d.extra_states[extra]);
    return {tavrel::stateName(d, s), std::string(tavrel::stateUnit(d, s)), {}};
}

} // namespace

ExportDescription describeBlock(const std::string& block, const host::ParamValues& params,
                                int num_states) {
    const tavrel::BlockDescription& kind = descriptionOf(block);
    checkParamSet(kind, params);
    ExportDescription d;
    d.block = block;
    d.description = std::string(kind.meaning);
    for (int k = 0; k < kind.paramCount(); ++k)
        d.params.push_back(describedParam(kind, k));
    for (const auto& port : kind.inputs)
        d.inputs.push_back(described(port));
    const auto ports = sim::outputPorts(kind, params);
    const std::size_t sensors =
        kind.hasSensors() ? params[static_cast<std::size_t>(kind.sensor_positions_param)].size()
                          : 0;
    const std::size_t fixed = ports.size() - sensors;
    for (std::size_t p = 0; p < ports.size(); ++p) {
        if (!ports[p].written) continue;
        DescribedOutput output;
        output.name = ports[p].name;
        output.unit = ports[p].unit;
        output.description = p < fixed ? std::string(kind.fixed_outputs[p].meaning)
                                       : std::string(kind.sensor_output.meaning);
        output.port = static_cast<int>(p);
        d.outputs.push_back(output);
    }
    // A state that shares its name with a port (the choke opening) gets "_state" appended:
    // every FMU variable needs its own name.
    for (int s = 0; s < num_states; ++s) {
        DescribedVariable state = describedState(kind, s);
        const auto same = [&](const DescribedVariable& v) { return v.name == state.name; };
        if (std::any_of(d.inputs.begin(), d.inputs.end(), same) ||
            std::any_of(d.outputs.begin(), d.outputs.end(), same))
            state.name += "_state";
        d.states.push_back(state);
    }
    return d;
}

} // namespace tavrel::fmi
