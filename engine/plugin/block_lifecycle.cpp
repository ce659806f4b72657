#include "block_lifecycle.h"

#include <algorithm>
#include <utility>

namespace tavrel::host {

std::unique_ptr<BlockInstance> openBlock(std::shared_ptr<Plugin> plugin, const ParamValues& params,
                                         std::string instance_name) {
    auto block =
        std::make_unique<BlockInstance>(std::move(plugin), params, std::move(instance_name));
    prepareBlock(*block);
    return block;
}

void prepareBlock(BlockInstance& block) { block.initializeSampleTimes(); }

StartInputs inputValues(std::span<const double> values) {
    return [copy = std::vector<double>(values.begin(), values.end())](BlockInstance& block) {
        std::copy_n(copy.begin(), std::min<std::size_t>(copy.size(), block.numInputs()),
                    block.inputs());
    };
}

std::vector<double> startBlock(BlockInstance& block, double time, const StartInputs& load_inputs) {
    block.initializeConditions();
    std::vector<double> conditions(block.states(), block.states() + block.numStates());
    if (load_inputs) load_inputs(block);
    block.outputs(time);
    return conditions;
}

void endBlock(BlockInstance& block) { block.terminate(); }

} // namespace tavrel::host
