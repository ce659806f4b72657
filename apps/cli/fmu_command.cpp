// `tavrel fmu BLOCK -o FILE.fmu [--params P.json | --scenario S.toml --block NAME]
// [--interface me|cs|both]`: exports one block as an FMI 2.0 FMU.
#include "command_support.h"
#include "commands.h"

#include "block_descriptions.h"
#include "fmu_export.h"
#include "scenario.h"

#include <cstdio>
#include <map>
#include <memory>

namespace tavrel::cli {

namespace {

struct FmuOptions {
    std::string block;
    std::string output;
    std::string params_file;
    std::string scenario;
    std::string scenario_block;
    fmi::FmuInterfaces interfaces = fmi::FmuInterfaces::both;
};

// The export parameter set: a JSON file, a block of a scenario, or the block's default well.
host::ParamValues exportParams(const FmuOptions& o) {
    if (!o.params_file.empty())
        return host::paramValuesFromJson(readJsonFile(o.params_file), o.params_file);
    if (!o.scenario.empty()) {
        const sim::Scenario scenario = sim::Scenario::load(o.scenario);
        for (const auto& config : scenario.blocks) {
            if (config.name != o.scenario_block) continue;
            if (config.kind != o.block)
                throw sim::ScenarioError(o.scenario + ": block " + config.name + " is a " +
                                         config.kind + ", not a " + o.block);
            return config.params;
        }
        throw sim::ScenarioError(o.scenario + ": no block named \"" + o.scenario_block + "\"");
    }
    if (const BlockDescription* d = host::findDescription(o.block)) return defaultParams(*d);
    throw host::HostError("unknown block " + o.block + ": no description to export");
}

void exportBlock(const FmuOptions& o) {
    fmi::exportFmu({o.block, exportParams(o), o.interfaces, o.output});
    std::printf("FMU: %s\n", o.output.c_str());
}

} // namespace

void addFmuCommand(CLI::App& app) {
    auto options = std::make_shared<FmuOptions>();
    auto* command = app.add_subcommand("fmu", "Export a block as an FMI 2.0 FMU (Model Exchange "
                                              "and Co-Simulation)");
    command->add_option("BLOCK", options->block, "deliverable name, e.g. tavrel")->required();
    command->add_option("-o,--output", options->output, "the FMU file to write")->required();
    auto* params = command->add_option("--params", options->params_file,
                                       "JSON file: the export parameter set (a list of dialog "
                                       "parameters, each a list of numbers)");
    auto* scenario = command
                         ->add_option("--scenario", options->scenario,
                                      "take the parameters of a block of this scenario")
                         ->excludes(params);
    command->add_option("--block", options->scenario_block, "the block's name in the scenario")
        ->needs(scenario);
    scenario->needs(command->get_option("--block"));
    const std::map<std::string, fmi::FmuInterfaces> interfaces = {
        {"me", fmi::FmuInterfaces::model_exchange},
        {"cs", fmi::FmuInterfaces::co_simulation},
        {"both", fmi::FmuInterfaces::both}};
    command->add_option("--interface", options->interfaces, "me, cs or both (default both)")
        ->transform(CLI::CheckedTransformer(interfaces, CLI::ignore_case));
    command->callback([options] { runCommand("fmu", [&] { exportBlock(*options); }); });
}

} // namespace tavrel::cli
