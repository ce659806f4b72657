// What the exporter knows of a block beyond what its handshake tells: names, units and
// descriptions of its dialog parameters, ports and states, and which parameters fix its
// structure. The one place that reads the host's block knowledge for the FMU.
#pragma once

#include "block_instance.h"
#include "fmu_layout.h"

#include <string>
#include <vector>

namespace tavrel::fmi {

struct DescribedVariable {
    std::string name; // empty: a parameter slot the block ignores
    std::string unit; // as in results.csv; empty: none known
    std::string description;
};

struct DescribedParam : DescribedVariable {
    LayoutShape shape = LayoutShape::scalar;
};

struct DescribedOutput : DescribedVariable {
    int port = 0;
};

struct ExportDescription {
    std::string block;
    std::string description;
    std::vector<DescribedParam> params;
    std::vector<DescribedVariable> inputs;
    std::vector<DescribedOutput> outputs; // the ports the block writes
    std::vector<DescribedVariable> states;
};

// The description of `block` exported with `params` (a complete, checked set) whose handshake
// declared `num_states` states. Throws std::runtime_error for a block the host does not know
// or a parameter set that breaks the block's rules (naming the parameter).
ExportDescription describeBlock(const std::string& block, const host::ParamValues& params,
                                int num_states);

} // namespace tavrel::fmi
