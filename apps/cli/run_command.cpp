// `tavrel run [SCENARIO] [-o DIR]`: simulates a scenario (the embedded default without one)
// and leaves results.csv, results.mat and summary.txt in DIR, then draws the run's figures
// there when Python with matplotlib is found.
#include "atomic_file.h"
#include "command_support.h"
#include "commands.h"

#include "background_sink.h"
#include "plausibility.h"
#include "result_files.h"
#include "result_folder.h"
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
    bool force = false;
};

// Every file a run may write into its folder: the result files, then the figures and the page
// that python/tavrel/figures draws beside results.csv. The manifest lists a run's own.
constexpr const char* run_manifest = "run_files.txt";
const std::vector<std::string> result_names = {"results.csv", "results.mat", "summary.txt",
                                               "summary.json", "profile.csv"};
const std::vector<std::string> figure_names = {"results.png",         "results_psd.png",
                                               "results_profile.png", "results_wave_map.png",
                                               "results_wave.gif",    "report.html"};

RunFiles runFiles(const RunOptions& options) {
    std::vector<std::string> names = result_names;
    names.insert(names.end(), figure_names.begin(), figure_names.end());
    return RunFiles(options.output, run_manifest, names);
}

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
    scenario.set(block, param, values, "--set " + text);
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
    FolderSink(const RunOptions& options, const sim::Scenario& scenario, bool profile)
        : folder_(options.output), files_of_run_(runFiles(options)), force_(options.force),
          summary_(scenario) {
        if (!profile) return;
        profile_csv_ = std::make_unique<sim::CsvSink>(profilePath().string());
        profile_ = std::make_unique<sim::BackgroundSink>(
            std::vector<sim::ResultSink*>{profile_csv_.get()});
    }
    // The pressure along the annulus (profile.csv), when asked for; begun after this sink.
    sim::ResultSink* profile() { return profile_.get(); }
    void begin(const std::vector<sim::Column>& columns) override {
        files_of_run_.clearEarlierRun(force_);
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
        try {
            files_of_run_.record();
        } catch (const ResultFolderError&) { // the write that failed is the one to report
        }
        std::rethrow_exception(failure);
    }
    const sim::SummarySink& summary() const { return summary_; }
    double lastTime() const { return last_time_.value_or(0); }
    std::filesystem::path csvPath() const { return folder_ / "results.csv"; }
    std::filesystem::path matPath() const { return folder_ / "results.mat"; }
    std::filesystem::path summaryPath() const { return folder_ / "summary.txt"; }
    std::filesystem::path summaryJsonPath() const { return folder_ / "summary.json"; }
    std::filesystem::path profilePath() const { return folder_ / "profile.csv"; }

  private:
    std::vector<sim::ResultSink*> sinks() { return {files_.get(), &summary_}; }

    std::filesystem::path folder_;
    RunFiles files_of_run_;
    bool force_;
    sim::SummarySink summary_;
    std::unique_ptr<sim::CsvSink> csv_;
    std::unique_ptr<sim::MatSink> mat_;
    std::unique_ptr<sim::BackgroundSink> files_; // writes csv_ and mat_; stopped before they go
    std::unique_ptr<sim::CsvSink> profile_csv_;
    std::unique_ptr<sim::BackgroundSink> profile_; // writes profile_csv_
    bool interrupted_ = false;
    std::optional<double> last_time_;
};

// summary.txt for a person; summary.json the same values in SI units, with the blocks' console
// lines kept apart, for the report page and scripts. The run's warnings head both: a summary
// read without the terminal still says what the run may not mean.
void writeSummaries(const FolderSink& sink, std::string head,
                    const std::vector<std::string>& warnings, const std::string& console,
                    const nlohmann::ordered_json& run) {
    for (const auto& warning : warnings)
        head += "warning: " + warning + "\n";
    const std::string report = sink.summary().report();
    writeTextFile(sink.summaryPath(), head + console + report);
    auto json = sink.summary().json();
    json["run"] = run;
    json["warnings"] = warnings;
    json["console"] = console;
    json["text"] = head + report;
    writeTextFile(sink.summaryJsonPath(), json.dump(2) + "\n");
}

// The files of an interrupted run hold every row up to the stop; the summary says where it was.
void reportInterruption(const FolderSink& sink, const sim::Scenario& scenario,
                        const std::vector<std::string>& warnings) {
    char line[160];
    std::snprintf(line, sizeof line, "Run interrupted by %s at t = %.6g s (of %.6g s).\n",
                  StopSignals::name(StopSignals::requested()), sink.lastTime(),
                  scenario.start_time + scenario.duration);
    writeSummaries(sink, line, warnings, "",
                   {{"interrupted_by", StopSignals::name(StopSignals::requested())},
                    {"interrupted_at", sink.lastTime()}});
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
    // The page lists the run's files: these and the figures drawn with it.
    args.push_back("--files");
    for (const auto& name : result_names) {
        if (name != "profile.csv" || options.profile || options.report) args.push_back(name);
    }
    return args;
}

void run(const RunOptions& options) {
    sim::Scenario scenario = options.scenario.empty() ? sim::Scenario::builtInDefault()
                                                      : sim::Scenario::load(options.scenario);
    for (const auto& text : options.overrides)
        applyOverride(scenario, text);
    scenario.checkOneWell(); // after every override: one may fix what another moved
    const auto warnings = sim::runWarnings(scenario);
    for (const auto& warning : warnings)
        std::fprintf(stderr, "tavrel run: warning: %s\n", warning.c_str());
    // Python loads while the scenario runs; it draws once the results are complete.
    std::optional<FigureDrawer> figures;
    if (options.figures || options.report) figures.emplace(FigureKind::run, figureArgs(options));

    // A stop ends the run at its last whole row (within a burst of solver steps); a second
    // signal ends the program.
    const StopSignals stop(StopSignals::Second::ends_program);
    ignoreFileSizeLimit();
    FolderSink sink(options, scenario, options.profile || options.report);
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
        reportInterruption(sink, scenario, warnings);
    }

    writeSummaries(sink, "", warnings, stats.console,
                   {{"solver_steps", stats.steps},
                    {"rhs_evaluations", stats.rhs_evaluations},
                    {"seconds", stats.total_seconds}});
    std::cout << stats.console << sink.summary().report();
    std::printf("  %ld solver steps, %ld right-hand sides in %.3f s\n", stats.steps,
                stats.rhs_evaluations, stats.total_seconds);
    std::printf("Results: %s, %s, %s, %s%s\n", sink.csvPath().c_str(), sink.matPath().c_str(),
                sink.summaryPath().c_str(), sink.summaryJsonPath().c_str(),
                sink.profile() ? (", " + sink.profilePath().string()).c_str() : "");
    if (figures) figures->draw();
    std::string listed;
    for (const auto& name : runFiles(options).record())
        listed += (listed.empty() ? "" : ", ") + name;
    std::printf("Files of this run in %s: %s\n", options.output.c_str(), listed.c_str());
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
    command->add_flag("--force", options->force,
                      "replace result files in the folder that no earlier run recorded as its own");
    command->callback([options] { runCommand("run", [&] { run(*options); }); });
}

} // namespace tavrel::cli
