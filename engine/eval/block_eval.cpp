#include "block_eval.h"

#include "block_descriptions.h"
#include "block_lifecycle.h"

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

// Evaluates at the given state, after the start: the first outputs call is over, so a block
// that derives a starting state there has done so and leaves the placed state as it is.
void placeState(BlockInstance& block, const std::vector<double>& states) {
    checkLength("states", states.size(), block.numStates(), block);
    std::copy(states.begin(), states.end(), block.states());
}

// The choke's position after the start, for a block whose description names one.
std::optional<double> chokeOpening(BlockInstance& block) {
    const BlockDescription* known = findDescription(block.plugin().blockName());
    const int choke = known ? known->stateWithRole(StateRole::choke_opening) : -1;
    if (choke < 0 || choke >= block.numStates()) return std::nullopt;
    return block.states()[choke];
}

} // namespace

EvalResult evaluateBlock(const EvalRequest& request) {
    BlockInstance block(openRequestedPlugin(request), request.params);
    checkLength("inputs", request.inputs.size(), block.numInputs(), block);
    EvalResult result;
    result.sizes = block.sizes();

    prepareBlock(block);
    result.initial_states = startBlock(block, 0.0, inputValues(request.inputs));
    result.first_outputs = copyOf(block.outputs(), block.numOutputs());
    result.initial_choke_opening = chokeOpening(block);

    if (request.states) placeState(block, *request.states);
    block.outputs(0.0);
    result.outputs = copyOf(block.outputs(), block.numOutputs());
    block.derivatives(0.0);
    result.derivatives = copyOf(block.derivatives(), block.numStates());
    result.console = block.takeConsole();
    return result;
}

} // namespace tavrel::host
