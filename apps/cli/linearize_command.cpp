// `tavrel linearize [SCENARIO] -o DIR [--input BLOCK.PORT]... [--output BLOCK.PORT]...
// [--at T | --trim] [--periods START:STOP:N]`: the linear model of a wired scenario at an
// operating point, into DIR/linear.npz and DIR/linear.mat; its modes, frequency response and
// figures come from the Python package (the same code as tavrel.LinearModel).
#include "command_support.h"
#include "commands.h"

#include "linear_files.h"
#include "linearization.h"
#include "scenario.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel::cli {

namespace {

struct LinearizeOptions {
    std::string scenario;
    std::string output;
    std::vector<std::string> inputs, outputs;
    std::optional<double> at;
    bool trim = false;
    std::string periods = "1:60:200";
    bool figures = true;
};

// "START:STOP:N": N periods [s] spaced evenly in their logarithm, 0 < START < STOP, N >= 2.
void checkPeriods(const std::string& text) {
    std::istringstream in(text);
    double start = 0, stop = 0;
    long count = 0;
    char colon1 = 0, colon2 = 0;
    in >> start >> colon1 >> stop >> colon2 >> count;
    if (!in || !in.eof() || colon1 != ':' || colon2 != ':' || !(start > 0) || !(stop > start) ||
        count < 2 || count > 100000) {
        throw linear::LinearizeError("--periods " + text +
                                     ": expected START:STOP:N with 0 < START < STOP and N >= 2");
    }
}

void linearizeScenario(const LinearizeOptions& options) {
    checkPeriods(options.periods);
    const sim::Scenario scenario = options.scenario.empty() ? sim::Scenario::builtInDefault()
                                                            : sim::Scenario::load(options.scenario);
    linear::LinearizeOptions request;
    request.inputs = options.inputs;
    request.outputs = options.outputs;
    request.at = options.at;
    request.trim = options.trim;
    const linear::LinearModel model = linear::linearize(scenario, request);

    const std::filesystem::path folder(options.output);
    std::filesystem::create_directories(folder);
    const std::string npz = (folder / "linear.npz").string();
    linear::writeNpz(model, npz);
    linear::writeMat(model, (folder / "linear.mat").string());
    std::printf("%zu states, %zu inputs, %zu outputs at t = %.6g s; ||dx/dt|| = %.3g\n",
                model.states.size(), model.inputs.size(), model.outputs.size(), model.time,
                model.residual);
    std::printf("Model: %s and linear.mat\n", npz.c_str());
    if (!model.steady) {
        std::fprintf(stderr,
                     "tavrel linearize: warning: the operating point at t = %.6g s is not "
                     "steady (||dx/dt|| = %.3g; steady = 0 in the files); --trim finds a steady "
                     "one\n",
                     model.time, model.residual);
    }
    const host::Json handed = {{"command", "linear"},
                               {"model", npz},
                               {"output", options.output},
                               {"periods", options.periods},
                               {"figures", options.figures}};
    if (runPythonModule("tavrel.command", {handed.dump()}) != 0) {
        throw linear::LinearizeError("no modes, frequency response or figures (they take the "
                                     "Python package tavrel with numpy, scipy and matplotlib)");
    }
}

} // namespace

void addLinearizeCommand(CLI::App& app) {
    auto options = std::make_shared<LinearizeOptions>();
    auto* command = app.add_subcommand(
        "linearize", "Linear model of a scenario at an operating point: A B C D, modes, "
                     "frequency response and figures");
    command->add_option("scenario", options->scenario, "scenario file (default: the embedded one)");
    command->add_option("-o", options->output, "folder for the files")->required();
    command->add_option("--input", options->inputs,
                        "input port BLOCK.PORT (default: every port no block feeds)");
    command->add_option("--output", options->outputs,
                        "output port BLOCK.PORT (default: the logged columns)");
    auto* at = command->add_option("--at", options->at,
                                   "operating point: the run's own state at this time [s]");
    command
        ->add_flag("--trim", options->trim,
                   "operating point: the steady state nearest the initial one (Newton)")
        ->excludes(at);
    command
        ->add_option("--periods", options->periods,
                     "periods of the frequency response START:STOP:N [s], log-spaced")
        ->capture_default_str();
    command->add_flag("!--no-figures", options->figures, "no bode.png and poles.png");
    command->callback([options] { runCommand("linearize", [&] { linearizeScenario(*options); }); });
}

} // namespace tavrel::cli
