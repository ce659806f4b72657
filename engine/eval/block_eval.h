// Evaluation of one block at one state through the plug-in protocol, for inspection and for
// cross-checking a block against an independent implementation (`tavrel eval`).
#pragma once

#include "block_instance.h"

#include <optional>
#include <string>
#include <vector>

namespace tavrel::host {

struct EvalRequest {
    std::string block;  // a deliverable found in the plug-in folders ...
    std::string plugin; // ... or a plug-in file, which takes precedence
    ParamValues params;
    std::vector<double> inputs;                // one value per input port
    std::optional<std::vector<double>> states; // evaluate here instead of after the first outputs
};

struct EvalResult {
    SizesVector sizes{};
    std::vector<double> initial_states;
    std::vector<double> first_outputs;
    std::optional<double> initial_choke_opening; // rig models only
    std::string console;
    std::vector<double> outputs;
    std::vector<double> derivatives;
};

// Sizes the block (handshake), initialises it, computes its first outputs, then its outputs
// and derivatives at the requested state: every step through mexFunction. Throws HostError
// naming the problem (unknown block, wrong lengths, a block error).
EvalResult evaluateBlock(const EvalRequest& request);

} // namespace tavrel::host
