// `tavrel study STUDY.toml -o DIR [--jobs N] [--resume] [--scheduler ADDRESS]`: runs a study's
// cases on the local cores into DIR/study.csv, then draws its figures with the Python package
// when it is there. With --scheduler the cases run on a Dask cluster: the flags go to the
// package as a request (tavrel.command), whose rows the same study.csv writer writes.
#include "command_support.h"
#include "commands.h"

#include "local_runner.h"
#include "study.h"
#include "study_output.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace tavrel::cli {

namespace {

struct StudyOptions {
    std::string study;
    std::string output = "study_out";
    int jobs = 0;
    bool resume = false;
    bool keep_results = false;
    bool figures = true;
    bool quiet = false;
    std::string scheduler;
};

host::Json request(const StudyOptions& options, const char* command) {
    return {{"command", command},
            {"study", options.study},
            {"output", options.output},
            {"resume", options.resume},
            {"progress", !options.quiet && isatty(STDERR_FILENO)},
            {"scheduler", options.scheduler}};
}

// Returns false when stopped by a signal (finished rows are kept for --resume).
bool runStudy(const StudyOptions& options) {
    const study::Study plan = study::Study::load(options.study);
    study::StudyOutput output(plan, options.output, options.resume);
    study::LocalRunOptions run;
    run.jobs = options.jobs;
    run.progress = !options.quiet && isatty(STDERR_FILENO);
    run.keep_results = options.keep_results;
    const auto summary = study::runLocal(plan, output, run);

    std::printf("%zu cases: %zu run now (%zu failed), %zu done before, in %.1f s\n",
                plan.caseCount(), summary.ran, summary.failed, summary.skipped,
                summary.wall_seconds);
    std::printf("Results: %s\n", output.csvPath().c_str());
    if (summary.interrupted) {
        std::fprintf(stderr, "tavrel study: stopped; %zu of %zu cases done, --resume continues\n",
                     output.doneCount(), plan.caseCount());
        return false;
    }
    if (options.figures) drawFigures(FigureKind::study, {options.study, options.output});
    return true;
}

} // namespace

void addStudyCommand(CLI::App& app) {
    auto options = std::make_shared<StudyOptions>();
    auto* command = app.add_subcommand(
        "study", "Run every case of a study (sweeps, grids, random draws) on the local cores; "
                 "writes study.csv and figures");
    command->add_option("study", options->study, "study file (TOML)")->required();
    addOutputFolder(*command, options->output);
    addCaseRunning(*command, options->jobs, options->resume, "cases",
                   "continue a study in its folder: run only the cases it lacks");
    auto* keep = command->add_flag(
        "--keep-results", options->keep_results,
        "also keep every case's scenario.toml and results.csv in DIR/cases/<case>/");
    command->add_flag("!--no-figures", options->figures, "only study.csv");
    command->add_flag("-q,--quiet", options->quiet, "no progress bar");
    command
        ->add_option("--scheduler", options->scheduler,
                     "run the cases on the Dask cluster of this scheduler (tcp://HOST:8786)")
        ->excludes(keep);
    command->callback([options] {
        int code = 0;
        runCommand("study", [&] {
            if (options->scheduler.empty()) {
                code = runStudy(*options) ? 0 : 130;
                return;
            }
            study::Study::load(options->study); // a bad file is refused here, Python or not
            code = runPythonModule("tavrel.command", {request(*options, "study").dump()});
            if (code == 127) {
                throw std::runtime_error("the Python package tavrel could not be started "
                                         "(/usr/bin/python3)");
            }
            if (code == 0 && options->figures) {
                drawFigures(FigureKind::study, {options->study, options->output});
            }
        });
        if (code != 0) throw CLI::RuntimeError(code < 0 ? 1 : code);
    });
}

} // namespace tavrel::cli
