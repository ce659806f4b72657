// `tavrel optimize FILE.toml -o DIR [--jobs N] [--resume]`: validates the optimisation file here
// (so a bad file is refused with its line whether or not Python is there), then hands the run
// to the Python package, whose SciPy does the search over cases of the study library.
#include "command_support.h"
#include "commands.h"

#include "optimization.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavrel::cli {

namespace {

struct OptimizeOptions {
    std::string file;
    std::string output = "optimize_out";
    int jobs = 0;
    bool resume = false;
    bool quiet = false;
};

// Replaces this process by the package's search, so that its exit code and Ctrl-C are the
// command's own.
[[noreturn]] void execSearch(const OptimizeOptions& options) {
    const std::string python_path = TAVREL_PYTHON_PACKAGE_DIR;
    const char* old = std::getenv("PYTHONPATH");
    const std::string path = python_path + (old && *old ? ":" + std::string(old) : "");
    setenv("PYTHONPATH", path.c_str(), 1);
    setenv("MPLBACKEND", "Agg", 0);
    std::vector<std::string> args = {"python3", "-m", "tavrel.optimize", options.file,
                                     "-o", options.output, "--jobs", std::to_string(options.jobs)};
    if (options.resume) args.push_back("--resume");
    if (options.quiet) args.push_back("--quiet");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    execv("/usr/bin/python3", argv.data());
    std::fprintf(stderr, "tavrel optimize: the search takes the Python package tavrel with SciPy "
                         "(/usr/bin/python3 could not be started)\n");
    std::exit(1);
}

} // namespace

void addOptimizeCommand(CLI::App& app) {
    auto options = std::make_shared<OptimizeOptions>();
    auto* command = app.add_subcommand(
        "optimize", "Search the values of study keys that minimise a metric or a misfit against "
                    "measured data; writes evaluations.csv, best.toml, result.json and a figure");
    command->add_option("file", options->file, "optimization file (TOML)")->required();
    command->add_option("-o,--output", options->output, "folder for the results")
        ->capture_default_str();
    command->add_option("-j,--jobs", options->jobs, "evaluations run at once (default: every core)")
        ->check(CLI::NonNegativeNumber);
    command->add_flag("--resume", options->resume,
                      "continue in DIR: reuse its evaluations, run only the new ones");
    command->add_flag("-q,--quiet", options->quiet, "no progress line");
    command->callback([options] {
        runCommand("optimize", [&] { study::Optimization::load(options->file); });
        execSearch(*options);
    });
}

} // namespace tavrel::cli
