// `tavrel run [SCENARIO] [-o DIR]`: simulates a scenario (the embedded default without one)
// and leaves results.csv, results.mat and summary.txt in DIR.
#include "command_support.h"
#include "commands.h"

#include "result_files.h"
#include "scenario.h"
#include "simulation.h"
#include "summary.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace tavrel::cli {

namespace {

struct RunOptions {
    std::string scenario;
    std::string output = "out";
    std::vector<std::string> overrides;
    bool quiet = false;
};

// "rig.annulus_length=4000" or "rig.sensor_positions=0,1500,3000".
void applyOverride(sim::Scenario& scenario, const std::string& text) {
    const auto dot = text.find('.');
    const auto equals = text.find('=');
    if (dot == std::string::npos || equals == std::string::npos || dot > equals) {
        throw sim::ScenarioError("--set " + text + ": expected BLOCK.PARAM=VALUE[,VALUE...]");
    }
    std::vector<double> values;
    std::stringstream list(text.substr(equals + 1));
    std::string item;
    while (std::getline(list, item, ',')) {
        try {
            size_t used = 0;
            values.push_back(std::stod(item, &used));
            if (used != item.size()) throw std::invalid_argument(item);
        } catch (const std::exception&) {
            throw sim::ScenarioError("--set " + text + ": \"" + item + "\" is not a number");
        }
    }
    scenario.set(text.substr(0, dot), text.substr(dot + 1, equals - dot - 1), values);
}

// Creates the output folder only when the run has started, so that a scenario that fails to
// load or to set up leaves nothing behind.
class FolderSink : public sim::ResultSink {
public:
    FolderSink(std::filesystem::path folder, const sim::Scenario& scenario)
        : folder_(std::move(folder)), summary_(scenario) {}
    void begin(const std::vector<sim::Column>& columns) override {
        std::filesystem::create_directories(folder_);
        csv_ = std::make_unique<sim::CsvSink>((folder_ / "results.csv").string());
        mat_ = std::make_unique<sim::MatSink>((folder_ / "results.mat").string());
        tee_ = std::make_unique<sim::TeeSink>(
            std::vector<sim::ResultSink*>{csv_.get(), mat_.get(), &summary_});
        tee_->begin(columns);
    }
    void row(double t, const std::vector<double>& values) override { tee_->row(t, values); }
    void end() override {
        if (tee_) tee_->end();
    }
    const sim::SummarySink& summary() const { return summary_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    sim::SummarySink summary_;
    std::unique_ptr<sim::CsvSink> csv_;
    std::unique_ptr<sim::MatSink> mat_;
    std::unique_ptr<sim::TeeSink> tee_;
};

void run(const RunOptions& options) {
    sim::Scenario scenario = options.scenario.empty() ? sim::Scenario::builtInDefault()
                                                      : sim::Scenario::load(options.scenario);
    for (const auto& text : options.overrides) applyOverride(scenario, text);

    FolderSink sink(options.output, scenario);
    const bool show_progress = !options.quiet && isatty(STDERR_FILENO);
    auto progress = [](double fraction) {
        std::fprintf(stderr, "\r  simulating %3d%%", static_cast<int>(fraction * 100 + 0.5));
        if (fraction >= 1) std::fputc('\n', stderr);
    };
    const sim::RunStatistics stats =
        sim::runScenario(scenario, sink, show_progress ? progress : std::function<void(double)>{});

    const std::string report = sink.summary().report();
    std::ofstream(sink.folder() / "summary.txt") << stats.console << report;
    std::cout << stats.console << report;
    std::printf("  %ld solver steps, %ld right-hand sides in %.3f s\n", stats.steps,
                stats.rhs_evaluations, stats.total_seconds);
    std::printf("Results: %s, %s, %s\n", (sink.folder() / "results.csv").c_str(),
                (sink.folder() / "results.mat").c_str(), (sink.folder() / "summary.txt").c_str());
}

} // namespace

void addRunCommand(CLI::App& app) {
    auto options = std::make_shared<RunOptions>();
    auto* command = app.add_subcommand(
        "run", "Simulate a scenario (the embedded default without one); writes results.csv, "
               "results.mat and summary.txt");
    command->add_option("scenario", options->scenario, "scenario file (TOML)");
    command->add_option("-o,--output", options->output, "folder for the results")
        ->capture_default_str();
    command->add_option("--set", options->overrides,
                        "override a dialog parameter: BLOCK.PARAM=VALUE[,VALUE...]");
    command->add_flag("-q,--quiet", options->quiet, "no progress display");
    command->callback([options] { runCommand("run", [&] { run(*options); }); });
}

} // namespace tavrel::cli
