// `tavrel run [SCENARIO] [-o DIR]`: simulates a scenario (the embedded default without one)
// and leaves results.csv, results.mat and summary.txt in DIR, then draws the run's figures
// there when Python with matplotlib is found.
#include "atomic_file.h"
#include "command_support.h"
#include "commands.h"

#include "background_sink.h"
#include "plausibility.h"
#include "result_files.h"
#include "scenario.h"
#include "simulation.h"
#include "stop_signals.h"
#include "summary.h"
#include "written_values.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <signal.h>
#include <sstream>
#include <unistd.h>

namespace tavrel::cli {

namespace {

struct RunOptions {
    std::string scenario;
    std::string output = "out";
    std::vector<std::string> overrides;
    bool quiet = false;
    bool profile = false;
    bool report = false;
    bool figures = true;
};

// "rig.annulus_length=4000", "well.initial_top_pressure=20 bar" or
// "rig.sensor_positions=0,1500,3000".
void applyOverride(sim::Scenario& scenario, const std::string& text) {
    const auto dot = text.find('.');
    const auto equals = text.find('=');
    if (dot == std::string::npos || equals == std::string::npos || dot > equals) {
        throw sim::ScenarioError("--set " + text + ": expected BLOCK.PARAM=VALUE[,VALUE...]");
    }
    const std::string block = text.substr(0, dot), param = text.substr(dot + 1, equals - dot - 1);
    std::vector<double> values;
    std::stringstream list(text.substr(equals + 1));
    std::string item;
    while (std::getline(list, item, ','))
        values.push_back(sim::writtenValue(scenario, block, param, item, "--set " + text));
    scenario.set(block, param, values);
}

// A file-size limit makes a write fail (and be reported) instead of ending the program.
void ignoreFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }

// Thrown out of the run at the first row after a stop signal.
struct RunInterrupted : std::runtime_error {
    RunInterrupted() : std::runtime_error("interrupted") {}
};

void writeTextFile(const std::filesystem::path& path, const std::string& text) {
    if (!writeWholeFile(path.string(), text).empty()) {
        throw sim::SimulationError("cannot write " + path.string());
    }
}

// Creates the output folder only when the run has started, so that a scenario that fails to
// load or to set up leaves nothing behind. Result files of an earlier run there are removed
// first, so that after a failed run no file stands for results it does not hold. The result
// files are written on a thread of their own; the summary, which the run reports at its end,
// is kept on the integrating thread.
class FolderSink : public sim::ResultSink {
  public:
    FolderSink(std::filesystem::path folder, const sim::Scenario& scenario, bool profile)
        : folder_(std::move(folder)), summary_(scenario) {
        if (!profile) return;
        profile_csv_ = std::make_unique<sim::CsvSink>(profilePath().string());
        profile_ = std::make_unique<sim::BackgroundSink>(
            std::vector<sim::ResultSink*>{profile_csv_.get()});
    }
    // The pressure along the annulus (profile.csv), when asked for; begun after this sink.
    sim::ResultSink* profile() { return profile_.get(); }
    void begin(const std::vector<sim::Column>& columns) override {
        std::filesystem::create_directories(folder_);
        for (const char* name : {"results.csv", "results.mat", "summary.txt", "profile.csv"}) {
            std::error_code ignored;
            std::filesystem::remove(folder_ / name, ignored);
        }
        csv_ = std::make_unique<sim::CsvSink>(csvPath().string());
        mat_ = std::make_unique<sim::MatSink>(matPath().string());
        files_ = std::make_unique<sim::BackgroundSink>(
            std::vector<sim::ResultSink*>{csv_.get(), mat_.get()});
        for (sim::ResultSink* sink : sinks())
            sink->begin(columns);
    }
    void row(double t, const std::vector<double>& values) override {
        poll();
        for (sim::ResultSink* sink : sinks())
            sink->row(t, values);
        last_time_ = t;
    }
    // A stop ends the run at the last whole row, even inside a long interval.
    void poll() override {
        if (StopSignals::requested() && last_time_) { // the first row is always logged
            interrupted_ = true;
            throw RunInterrupted();
        }
    }
    // Closes every file even when one fails; the first failure is reported, and then neither
    // result file is left, so that none stands for a run whose results were not all written.
    void end() override {
        if (!files_) return;
        if (interrupted_) mat_->markInterrupted(*last_time_); // before the writer ends the file
        std::exception_ptr failure;
        for (sim::ResultSink* sink : sinks()) {
            try {
                sink->end();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
        if (!failure) return;
        for (const auto& path : {csvPath(), matPath(), profilePath()}) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
        std::rethrow_exception(failure);
    }
    const sim::SummarySink& summary() const { return summary_; }
    double lastTime() const { return last_time_.value_or(0); }
    std::filesystem::path csvPath() const { return folder_ / "results.csv"; }
    std::filesystem::path matPath() const { return folder_ / "results.mat"; }
    std::filesystem::path summaryPath() const { return folder_ / "summary.txt"; }
    std::filesystem::path profilePath() const { return folder_ / "profile.csv"; }

  private:
    std::vector<sim::ResultSink*> sinks() { return {files_.get(), &summary_}; }

    std::filesystem::path folder_;
    sim::SummarySink summary_;
    std::unique_ptr<sim::CsvSink> csv_;
    std::unique_ptr<sim::MatSink> mat_;
    std::unique_ptr<sim::BackgroundSink> files_; // writes csv_ and mat_; stopped before they go
    std::unique_ptr<sim::CsvSink> profile_csv_;
    std::unique_ptr<sim::BackgroundSink> profile_; // writes profile_csv_
    bool interrupted_ = false;
    std::optional<double> last_time_;
};

// The files of an interrupted run hold every row up to the stop; the summary says where it was.
void reportInterruption(const FolderSink& sink, const sim::Scenario& scenario) {
    char line[160];
    std::snprintf(line, sizeof line, "Run interrupted by %s at t = %.6g s (of %.6g s).\n",
                  StopSignals::name(StopSignals::requested()), sink.lastTime(),
                  scenario.start_time + scenario.duration);
    writeTextFile(sink.summaryPath(), line + sink.summary().report());
    throw sim::SimulationError(std::string(line, std::strlen(line) - 1) +
                               " Results up to then: " + sink.csvPath().string() + ", " +
                               sink.matPath().string() + ", " + sink.summaryPath().string());
}

// One interpreter draws the pictures and the page, from DIR/results.csv.
std::vector<std::string> figureArgs(const RunOptions& options) {
    const auto csv = std::filesystem::path(options.output) / "results.csv";
    std::vector<std::string> args = {csv.string(), "--scenario",
                                     options.scenario.empty() ? "default" : options.scenario};
    if (!options.figures) args.push_back("--no-pictures");
    if (options.report) args.push_back("--report");
    return args;
}

void run(const RunOptions& options) {
    sim::Scenario scenario = options.scenario.empty() ? sim::Scenario::builtInDefault()
                                                      : sim::Scenario::load(options.scenario);
    for (const auto& text : options.overrides)
        applyOverride(scenario, text);
    for (const auto& warning : sim::plausibilityWarnings(scenario))
        std::cerr << "tavrel run: warning: " << warning << std::endl;
    // Python loads while the scenario runs; it draws once the results are complete.
    std::optional<FigureDrawer> figures;
    if (options.figures || options.report) figures.emplace(FigureKind::run, figureArgs(options));

    // A stop ends the run at its last whole row (within a burst of solver steps); a second
    // signal ends the program.
    const StopSignals stop(StopSignals::Second::ends_program);
    ignoreFileSizeLimit();
    FolderSink sink(options.output, scenario, options.profile || options.report);
    const bool show_progress = !options.quiet && isatty(STDERR_FILENO);
    auto progress = [](double fraction) {
        std::fprintf(stderr, "\r  simulating %3d%%", static_cast<int>(fraction * 100 + 0.5));
        if (fraction >= 1) std::fputc('\n', stderr);
    };
    sim::RunStatistics stats;
    try {
        stats = sim::runScenario(scenario, sink,
                                 show_progress ? progress : std::function<void(double)>{}, {},
                                 sink.profile());
    } catch (const RunInterrupted&) {
        if (show_progress) std::fputc('\n', stderr);
        reportInterruption(sink, scenario);
    }

    const std::string report = sink.summary().report();
    writeTextFile(sink.summaryPath(), stats.console + report);
    std::cout << stats.console << report;
    std::printf("  %ld solver steps, %ld right-hand sides in %.3f s\n", stats.steps,
                stats.rhs_evaluations, stats.total_seconds);
    std::printf("Results: %s, %s, %s%s\n", sink.csvPath().c_str(), sink.matPath().c_str(),
                sink.summaryPath().c_str(),
                sink.profile() ? (", " + sink.profilePath().string()).c_str() : "");
    if (figures) figures->draw();
}

} // namespace

void addRunCommand(CLI::App& app) {
    auto options = std::make_shared<RunOptions>();
    auto* command = app.add_subcommand(
        "run", "Simulate a scenario (the embedded default without one); writes results.csv, "
               "results.mat and summary.txt");
    command->add_option("scenario", options->scenario, "scenario file (TOML)");
    addOutputFolder(*command, options->output);
    command->add_option("--set", options->overrides,
                        "override a dialog parameter: BLOCK.PARAM=VALUE[,VALUE...]");
    command->add_flag("-q,--quiet", options->quiet, "no progress display");
    command->add_flag("--profile", options->profile,
                      "also write profile.csv: the pressure along the whole annulus at every "
                      "output time, sampled by the blocks at their grid points");
    command->add_flag("--report", options->report,
                      "also write report.html (with the profile): interactive series and the "
                      "wave map in one page (needs Python with plotly)");
    command->add_flag("!--no-figures", options->figures,
                      "no results.png and no profile or wave figures (drawn with matplotlib)");
    command->callback([options] { runCommand("run", [&] { run(*options); }); });
}

} // namespace tavrel::cli
