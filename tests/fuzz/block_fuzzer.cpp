// The blocks' methods called directly on a record: random parameter lists (any length,
// empty, not-a-number, infinite, huge, negative, fractional where a count is expected), random
// inputs and states. No method may read or write outside an array or loop without end.
#include "compensator_model.h"
#include "fuzz_input.h"
#include "fuzz_record.h"
#include "linear_model.h"
#include "observer_model.h"
#include "piston_model.h"
#include "rig_model.h"
#include "sea_compensator_model.h"

#include <array>

namespace {

using namespace tavrel;

struct Model {
    const char* name;
    mdlRecordMethod sizes, conditions;
    mdlOutputsMethod outputs;
    mdlRecordMethod derivatives;
};

constexpr std::array<Model, 6> models = {{
    {"tavrel", &rig::mdlInitializeSizes, &rig::mdlInitializeConditions, &rig::mdlOutputs,
     &rig::mdlDerivatives},
    {"tavrel_piston", &piston::mdlInitializeSizes, &piston::mdlInitializeConditions,
     &piston::mdlOutputs, &piston::mdlDerivatives},
    {"tavrel_linear", &linear::mdlInitializeSizes, &linear::mdlInitializeConditions,
     &linear::mdlOutputs, &linear::mdlDerivatives},
    {"tavrel_observer", &observer::mdlInitializeSizes, &observer::mdlInitializeConditions,
     &observer::mdlOutputs, &observer::mdlDerivatives},
    {"heave_compensator", &compensator::mdlInitializeSizes, &compensator::mdlInitializeConditions,
     &compensator::mdlOutputs, &compensator::mdlDerivatives},
    {"sea_compensator", &sea_compensator::mdlInitializeSizes,
     &sea_compensator::mdlInitializeConditions, &sea_compensator::mdlOutputs,
     &sea_compensator::mdlDerivatives},
}};

// The block's default parameters with some replaced, dropped or added.
std::vector<std::vector<double>> fuzzedParams(fuzz::FuzzInput& in, const char* block) {
    std::vector<std::vector<double>> params = fuzz::shippedParams(block);
    params.resize(in.below(params.size() + 4), {1.0});
    for (std::size_t edits = in.below(12); edits > 0 && !params.empty(); --edits)
        params[in.below(params.size())] = in.numbers(8);
    return params;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = (fuzz::silenceConsole(), true);
    (void)silenced;
    fuzz::FuzzInput in(data, size);
    const Model& model = models[in.below(models.size())];
    fuzz::FuzzRecord record(fuzzedParams(in, model.name));
    SimStruct* S = record.S();
    model.sizes(S);
    if (record.refused() || ssGetNumInputPorts(S) <= 0) return 0; // a host stops here too
    record.allocateWork();
    model.conditions(S);
    for (double& u : record.inputs())
        u = in.number();
    // Some states replaced (or all, when the first byte says so).
    auto& x = record.states();
    const bool all = in.byte() & 1;
    for (std::size_t k = 0; k < x.size(); ++k)
        if (all || in.byte() < 16) x[k] = in.number();
    for (int calls = 1 + static_cast<int>(in.below(3)); calls > 0; --calls) {
        model.outputs(S, 0);
        model.derivatives(S);
        if (!x.empty()) x[in.below(x.size())] = in.number();
    }
    return 0;
}
