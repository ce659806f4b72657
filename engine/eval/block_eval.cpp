#include "block_eval.h"

#include "block_descriptions.h"

namespace tavrel::host {

namespace {

std::shared_ptr<Plugin> openRequestedPlugin(const EvalRequest& request) {
    if (!request.plugin.empty()) return Plugin::open(request.plugin);
    if (request.block.empty()) throw HostError("request names neither a block nor a plugin");
    return Plugin::open(findPlugin(request.block));
}

void checkLength(const char* what, std::size_t given, int expected, const BlockInstance& block) {
    if (given == static_cast<std::size_t>(expected)) return;
    throw HostError(std::string("request: \"") + what + "\" has " + std::to_string(given) +
                    " values, but block " + block.plugin().blockName() + " has " +
                    std::to_string(expected));
}

std::vector<double> copyOf(const double* values, int count) {
    return std::vector<double>(values, values + count);
}

// Evaluates at the given state: the first outputs call is over, so the block must not redo
// its initial choke opening (first_output_flag, integer work element 0, is cleared).
void placeState(BlockInstance& block, const std::vector<double>& states) {
    checkLength("states", states.size(), block.numStates(), block);
    std::copy(states.begin(), states.end(), block.states());
    if (block.numIWork() > 0) block.iwork()[0] = 0;
}

} // namespace

EvalResult evaluateBlock(const EvalRequest& request) {
    BlockInstance block(openRequestedPlugin(request), request.params);
    checkLength("inputs", request.inputs.size(), block.numInputs(), block);
    EvalResult result;
    result.sizes = block.sizes();

    block.initializeSampleTimes();
    block.initializeConditions();
    result.initial_states = copyOf(block.states(), block.numStates());

    std::copy(request.inputs.begin(), request.inputs.end(), block.inputs());
    block.outputs(0.0);
    result.first_outputs = copyOf(block.outputs(), block.numOutputs());
    if (const BlockDescription* known = findDescription(block.plugin().blockName())) {
        const auto choke = stateIndex(*known, "choke_opening");
        if (choke && *choke < block.numStates())
            result.initial_choke_opening = block.states()[*choke];
    }

    if (request.states) placeState(block, *request.states);
    block.outputs(0.0);
    result.outputs = copyOf(block.outputs(), block.numOutputs());
    block.derivatives(0.0);
    result.derivatives = copyOf(block.derivatives(), block.numStates());
    result.console = block.takeConsole();
    return result;
}

} // namespace tavrel::host
