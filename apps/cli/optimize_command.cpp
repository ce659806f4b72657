// `tavrel optimize FILE.toml -o DIR [--jobs N] [--resume] [--scheduler ADDRESS]`: validates the
// optimisation file here (so a bad file is refused with its line whether or not Python is
// there), then hands the run to the Python package as a request (tavrel.command): its SciPy does
// the search over cases of the study library, and the engine's EvaluationLog writes the folder.
#include "command_support.h"
#include "commands.h"

#include "optimization.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <unistd.h>

namespace tavrel::cli {

namespace {

struct OptimizeOptions {
    std::string file;
    std::string output = "optimize_out";
    int jobs = 0;
    bool resume = false;
    bool quiet = false;
    std::string scheduler;
};

host::Json request(const OptimizeOptions& options) {
    return {{"command", "optimize"},         {"file", options.file},
            {"output", options.output},      {"jobs", options.jobs},
            {"resume", options.resume},      {"progress", !options.quiet && isatty(STDERR_FILENO)},
            {"scheduler", options.scheduler}};
}

} // namespace

void addOptimizeCommand(CLI::App& app) {
    auto options = std::make_shared<OptimizeOptions>();
    auto* command = app.add_subcommand(
        "optimize", "Search the values of study keys that minimise a metric or a misfit against "
                    "measured data; writes evaluations.csv, best.toml, result.json and a figure");
    command->add_option("file", options->file, "optimization file (TOML)")->required();
    addOutputFolder(*command, options->output);
    addCaseRunning(*command, options->jobs, options->resume, "evaluations",
                   "continue in DIR: reuse its evaluations, run only the new ones");
    command->add_flag("-q,--quiet", options->quiet, "no progress line");
    command->add_option(
        "--scheduler", options->scheduler,
        "run the evaluations on the Dask cluster of this scheduler (tcp://HOST:8786)");
    command->callback([options] {
        runCommand("optimize", [&] {
            study::Optimization::load(options->file);
            replaceByPythonModule("tavrel.command", {request(*options).dump()});
        });
    });
}

} // namespace tavrel::cli
