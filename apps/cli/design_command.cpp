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
    // The largest RMS rate of the opening a row of the design may ask on its own sea, as a
    // fraction of the choke's rate limit (above 1 the block's back-off would take it back).
    double rate_budget = 1.0;
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
    command
        ->add_option("--rate-budget", options->rate_budget,
                     "largest RMS rate of the opening a design sea may ask, as a fraction of "
                     "the choke's rate limit; each row takes the budget up to it that does best "
                     "through the clipped rate (lower it where the measurement carries the "
                     "choke's own wave, as from the top of the well)")
        ->capture_default_str()
        ->check(CLI::Range(0.3, 1.0));
    command->callback([options] {
        runCommand("design", [&] {
            sim::Scenario::load(options->scenario);
            const host::Json request = {
                {"command", "design"},
                {"scenario", std::filesystem::absolute(options->scenario).string()},
                {"output", options->output},
                {"rate_budget", options->rate_budget}};
            replaceByPythonModule("tavrel.command", {request.dump()});
        });
    });
}

} // namespace tavrel::cli
