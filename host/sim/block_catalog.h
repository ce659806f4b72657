// What the host knows of each deliverable by name: its dialog parameters (names, which are
// vectors, which the block never reads), its ports with units, and the rules a parameter set
// must keep so that the block computes finite, meaningful values.
#pragma once

#include <string>
#include <vector>

namespace tavrel::sim {

struct ParamInfo {
    std::string name;   // empty: a slot the block ignores
    bool vector = false;
    bool required = true; // false: the block declares but never reads it (default 0)
};

struct PortInfo {
    std::string name;
    std::string unit;
};

struct BlockKind {
    std::string name; // deliverable: "tavrel", "tavrel_piston", "tavrel_linear", "tavrel_observer"
    std::vector<ParamInfo> params;
    std::vector<PortInfo> inputs;
    std::vector<PortInfo> fixed_outputs;
    int num_fixed_outputs_param;  // parameter index of num_fixed_outputs
    int sensor_positions_param;   // parameter index of sensor_positions
    int min_outputs;              // values the block always writes
    int cells;                    // grid cells of the wave states
    std::vector<std::string> extra_states; // states after the two wave families
};

// Name of state `index`: "w_up[k]", "w_down[k]" or the block's own name for it.
std::string stateName(const BlockKind& kind, int index);

// The kind of a deliverable, or null for a plug-in the host does not know.
const BlockKind* findBlockKind(const std::string& deliverable);

int paramIndex(const BlockKind& kind, const std::string& name); // -1 if none

// Names of all output ports of a block with these parameters: the fixed ones, then
// "sensor_pressure[i]"; ports between them that the block never writes are named "unused[k]".
std::vector<PortInfo> outputPorts(const BlockKind& kind,
                                  const std::vector<std::vector<double>>& params);

// Checks a complete parameter set; returns the first broken rule as "<param>: <rule>" (empty
// when the set is sound).
struct ParamProblem {
    std::string param;
    std::string rule;
};
std::vector<ParamProblem> checkParams(const BlockKind& kind,
                                      const std::vector<std::vector<double>>& params);

} // namespace tavrel::sim
