// A block's parameters, ports and rules as the scenario layer uses them, all read from the
// block's description: names to indices, the output ports a parameter set gives, and the
// checks a parameter set must pass so that the block computes finite, meaningful values.
#pragma once

#include "block_description.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavrel::sim {

using tavrel::BlockDescription;
using tavrel::ParamSet;

struct PortInfo {
    std::string name;
    std::string unit;
    bool written = true; // false: a slot between the described outputs and the sensors
    PortRole role = PortRole::plain;
};

// The description of a shipped block, or null.
const BlockDescription* findBlockKind(std::string_view block_name);

int paramIndex(const BlockDescription& kind, std::string_view name); // -1 if none

// All output ports of a block with these parameters: the described fixed ones, then one per
// sensor, "sensor_pressure[i]".
std::vector<PortInfo> outputPorts(const BlockDescription& kind, const ParamSet& params);

struct ParamProblem {
    std::string param;
    std::string rule;
    std::string other = {}; // the parameter the rule compares with, if any
};

// The broken rules of a complete parameter set, in the description's order (empty: sound).
std::vector<ParamProblem> checkParams(const BlockDescription& kind, const ParamSet& params);

} // namespace tavrel::sim
