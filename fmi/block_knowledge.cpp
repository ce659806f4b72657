#include "block_knowledge.h"

#include "block_catalog.h"

#include <algorithm>
#include <stdexcept>

namespace tavrel::fmi {

namespace {

const sim::BlockKind& kindOf(const std::string& block) {
    const sim::BlockKind* kind = sim::findBlockKind(block);
    if (!kind) throw std::runtime_error("block " + block + " has no description to export");
    return *kind;
}

void checkParamSet(const sim::BlockKind& kind, const host::ParamValues& params) {
    if (params.size() != kind.params.size())
        throw std::runtime_error("block " + kind.name + " has " + std::to_string(kind.params.size()) +
                                 " dialog parameters, " + std::to_string(params.size()) + " given");
    const auto problems = sim::checkParams(kind, params);
    if (!problems.empty())
        throw std::runtime_error("block " + kind.name + ", parameter " + problems.front().param +
                                 ": " + problems.front().rule);
}

} // namespace

BlockDescription describeBlock(const std::string& block, const host::ParamValues& params,
                               int num_states) {
    const sim::BlockKind& kind = kindOf(block);
    checkParamSet(kind, params);
    BlockDescription d;
    d.block = block;
    for (std::size_t k = 0; k < kind.params.size(); ++k) {
        DescribedParam param;
        param.name = kind.params[k].name;
        param.shape = static_cast<int>(k) == kind.num_fixed_outputs_param ? ParamShape::structural
                      : kind.params[k].vector                             ? ParamShape::vector
                                                                          : ParamShape::scalar;
        if (!kind.params[k].required && !param.name.empty())
            param.description = "not read by this block";
        d.params.push_back(param);
    }
    for (const auto& port : kind.inputs) d.inputs.push_back({port.name, port.unit, {}});
    const auto ports = sim::outputPorts(kind, params);
    for (std::size_t p = 0; p < ports.size(); ++p) {
        if (ports[p].name.rfind("unused", 0) == 0) continue;
        DescribedOutput output;
        output.name = ports[p].name;
        output.unit = ports[p].unit;
        output.port = static_cast<int>(p);
        d.outputs.push_back(output);
    }
    // A state that shares its name with a port (the choke opening) gets "_state" appended:
    // every FMU variable needs its own name.
    for (int s = 0; s < num_states; ++s) {
        std::string name = sim::stateName(kind, s);
        const auto same = [&](const DescribedVariable& v) { return v.name == name; };
        if (std::any_of(d.inputs.begin(), d.inputs.end(), same) ||
            std::any_of(d.outputs.begin(), d.outputs.end(), same))
            name += "_state";
        d.states.push_back({name, {}, {}});
    }
    return d;
}

} // namespace tavrel::fmi
