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

#include <algorithm>
#include <vector>

namespace {

using tavrel::defaultParams;
using tavrel::test::ParamList;

struct Model {
    const char* plugin;
    ParamList params;
    mdlRecordMethod sizes, conditions, derivatives;
    mdlOutputsMethod outputs;
    std::vector<double> inputs;
};

// The rig models' inputs: the choke driven, the displacer moving, the pump on.
std::vector<double> rigInputs() {
    namespace input = tavrel::rig::input;
    std::vector<double> u(input::count);
    u[input::choke_setpoint] = 0.3;
    u[input::displacer_velocity] = 0.2;
    u[input::injection_flow] = 0.01;
    return u;
}

Model rig() {
    using namespace tavrel::rig;
    return {"tavrel",
            defaultParams(description),
            &mdlInitializeSizes,
            &mdlInitializeConditions,
            &mdlDerivatives,
            &mdlOutputs,
            rigInputs()};
}
Model piston() {
    using namespace tavrel::piston;
    return {"tavrel_piston",     defaultParams(description),
            &mdlInitializeSizes, &mdlInitializeConditions,
            &mdlDerivatives,     &mdlOutputs,
            rigInputs()};
}
Model linear() {
    using namespace tavrel::linear;
    return {"tavrel_linear",     defaultParams(description),
            &mdlInitializeSizes, &mdlInitializeConditions,
            &mdlDerivatives,     &mdlOutputs,
            rigInputs()};
}
Model observer() {
    using namespace tavrel::observer;
    std::vector<double> u(input::count);
    u[input::measured_top_flow] = 0.3;
    u[input::measured_top_pressure] = 2e6;
    return {"tavrel_observer",
            defaultParams(description),
            &mdlInitializeSizes,
            &mdlInitializeConditions,
            &mdlDerivatives,
            &mdlOutputs,
            u};
}

void direct(benchmark::State& state, Model (*make)()) {
    const Model m = make();
    tavrel::test::TestRecord record(m.params, m.sizes);
    record.call(m.conditions);
    for (std::size_t port = 0; port < m.inputs.size(); ++port)
        record.setInput(static_cast<int>(port), m.inputs[port]);
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
        std::copy(m.inputs.begin(), m.inputs.end(), b.inputs());
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
