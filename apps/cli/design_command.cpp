// `tavrel design SCENARIO -o DIR`: validates the scenario here (a bad file is refused with its
// line whether or not Python is there), then hands the design to the Python package
// (tavrel.command, tavrel.design_scenario): the well linearised at the compensator's operating
// point, the sea_compensator's filter designed for the scenario's sea under the choke's rate
// limit, DIR/scenario.toml with the new parameters, and the design's prediction printed beside
// the limit of any linear causal feedforward from the same measurement (both per peak period in
// DIR/design.csv).
#include "command_support.h"
#include "commands.h"

#include "scenario.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>
#include <string>

namespace tavrel::cli {

namespace {

struct DesignOptions {
    std::string scenario;
    std::string output = "design_out";
};

} // namespace

void addDesignCommand(CLI::App& app) {
    auto options = std::make_shared<DesignOptions>();
    auto* command = app.add_subcommand(
        "design", "Design the sea_compensator of a scenario for its well and sea; writes "
                  "DIR/scenario.toml and prints the prediction beside the linear limit");
    command->add_option("scenario", options->scenario, "scenario file with a sea_compensator")
        ->required();
    addOutputFolder(*command, options->output);
    command->callback([options] {
        runCommand("design", [&] {
            sim::Scenario::load(options->scenario);
            const host::Json request = {
                {"command", "design"},
                {"scenario", std::filesystem::absolute(options->scenario).string()},
                {"output", options->output}};
            replaceByPythonModule("tavrel.command", {request.dump()});
        });
    });
}

} // namespace tavrel::cli
