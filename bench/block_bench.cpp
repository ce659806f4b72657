// Cost of one mdlOutputs plus mdlDerivatives of each block, called directly on a record and
// through the plug-in's mexFunction as the host calls it.
#include "block_instance.h"
#include "block_lifecycle.h"
#include "linear_declarations.h"
#include "linear_model.h"
#include "observer_declarations.h"
#include "observer_model.h"
#include "piston_declarations.h"
#include "piston_model.h"
#include "rig_declarations.h"
#include "rig_model.h"
#include "test_record.h"

#include <benchmark/benchmark.h>

namespace {

using tavrel::test::ParamList;
using tavrel::defaultParams;

struct Model {
    const char* plugin;
    ParamList params;
    mdlRecordMethod sizes, conditions, derivatives;
    mdlOutputsMethod outputs;
};

Model rig() {
    using namespace tavrel::rig;
    return {"tavrel", defaultParams(description), &mdlInitializeSizes,
            &mdlInitializeConditions, &mdlDerivatives, &mdlOutputs};
}
Model piston() {
    using namespace tavrel::piston;
    return {"tavrel_piston", defaultParams(description), &mdlInitializeSizes,
            &mdlInitializeConditions, &mdlDerivatives, &mdlOutputs};
}
Model linear() {
    using namespace tavrel::linear;
    return {"tavrel_linear", defaultParams(description), &mdlInitializeSizes,
            &mdlInitializeConditions, &mdlDerivatives, &mdlOutputs};
}
Model observer() {
    using namespace tavrel::observer;
    return {"tavrel_observer", defaultParams(description), &mdlInitializeSizes,
            &mdlInitializeConditions, &mdlDerivatives, &mdlOutputs};
}

void direct(benchmark::State& state, Model (*make)()) {
    const Model m = make();
    tavrel::test::TestRecord record(m.params, m.sizes);
    record.call(m.conditions);
    record.setInput(0, 0.3);
    record.setInput(1, std::string(m.plugin) == "tavrel_observer" ? 2e6 : 0.2);
    if (std::string(m.plugin) != "tavrel_observer") record.setInput(2, 0.01);
    record.outputs(m.outputs);
    for (auto _ : state) {
        m.outputs(record.S(), 0);
        m.derivatives(record.S());
        benchmark::DoNotOptimize(record.derivatives().data());
    }
}

void throughMexFunction(benchmark::State& state, Model (*make)()) {
    const Model m = make();
    auto plugin = tavrel::host::Plugin::open(tavrel::host::findPlugin(m.plugin));
    auto opened = tavrel::host::openBlock(plugin, m.params, m.plugin);
    tavrel::host::BlockInstance& block = *opened;
    tavrel::host::startBlock(block, 0.0, [&](tavrel::host::BlockInstance& b) {
        b.inputs()[0] = 0.3;
        b.inputs()[1] = std::string(m.plugin) == "tavrel_observer" ? 2e6 : 0.2;
        if (b.numInputs() > 2) b.inputs()[2] = 0.01;
    });
    block.takeConsole();
    for (auto _ : state) {
        block.outputs(0.0);
        block.derivatives(0.0);
        benchmark::DoNotOptimize(block.derivatives());
    }
}

BENCHMARK_CAPTURE(direct, tavrel, &rig);
BENCHMARK_CAPTURE(throughMexFunction, tavrel, &rig);
BENCHMARK_CAPTURE(direct, tavrel_piston, &piston);
BENCHMARK_CAPTURE(throughMexFunction, tavrel_piston, &piston);
BENCHMARK_CAPTURE(direct, tavrel_linear, &linear);
BENCHMARK_CAPTURE(throughMexFunction, tavrel_linear, &linear);
BENCHMARK_CAPTURE(direct, tavrel_observer, &observer);
BENCHMARK_CAPTURE(throughMexFunction, tavrel_observer, &observer);

} // namespace

BENCHMARK_MAIN();
