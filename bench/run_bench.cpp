// End-to-end benchmark of a scenario (the default without one), run as `tavrel run` runs it:
// results.csv and results.mat written (to a temporary folder). Prints the wall time, the
// real-time factor and right-hand sides per second (best of several runs), where the time goes
// (inside the blocks' methods, host and solver, writing the results; from profiled runs), and
// the peak memory after short runs and after a 30 times longer one.
#include "result_files.h"
#include "scenario.h"
#include "simulation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdlib.h>
#include <sys/resource.h>

namespace {

using namespace tavrel::sim;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The result files of `tavrel run`, with the time spent writing them.
class TimedFileSink : public ResultSink {
public:
    explicit TimedFileSink(const std::filesystem::path& folder)
        : csv_((folder / "results.csv").string()), mat_((folder / "results.mat").string()) {}
    void begin(const std::vector<Column>& columns) override { timed([&] { both_.begin(columns); }); }
    void row(double t, const std::vector<double>& values) override {
        timed([&] { both_.row(t, values); });
    }
    void end() override { timed([&] { both_.end(); }); }
    double seconds() const { return seconds_; }

private:
    template <class Write> void timed(const Write& write) {
        const auto start = Clock::now();
        write();
        seconds_ += secondsSince(start);
    }
    CsvSink csv_;
    MatSink mat_;
    TeeSink both_{{&csv_, &mat_}};
    double seconds_ = 0;
};

// Counts rows without keeping them: memory must not grow with the simulated duration.
struct CountingSink : ResultSink {
    long rows = 0;
    void begin(const std::vector<Column>&) override {}
    void row(double, const std::vector<double>&) override { ++rows; }
    void end() override {}
};

struct Measurement {
    double wall = 1e300; // whole run: setting up, integrating, writing
    double cpu = 0;      // processor time of the same run (user and system), steadier on a
                         // machine that other work shares
    double writing = 0;
    RunStatistics stats;
};

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The fastest of `repeats` whole runs.
Measurement fastestRun(const Scenario& scenario, const std::filesystem::path& folder, int repeats,
                       bool profile) {
    Measurement best;
    for (int i = 0; i < repeats; ++i) {
        TimedFileSink sink(folder);
        const auto start = Clock::now();
        const double cpu_start = processorSeconds();
        RunStatistics stats = runScenario(scenario, sink, {}, profile);
        const double wall = secondsSince(start);
        const double cpu = processorSeconds() - cpu_start;
        if (wall < best.wall) best = {wall, cpu, sink.seconds(), std::move(stats)};
    }
    return best;
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// What reading the clock twice costs. Each timed block call spans one reading (counted as the
// block's) and leaves one outside (counted as the host's); the split takes both out.
double clockPairSeconds() {
    const int pairs = 200000;
    const auto start = Clock::now();
    for (int i = 0; i < pairs; ++i) {
        [[maybe_unused]] const auto first = Clock::now();
        [[maybe_unused]] const auto second = Clock::now();
    }
    return secondsSince(start) / pairs;
}

void printSplit(const Measurement& m) {
    const double clock_cost = clockPairSeconds() * m.stats.timed_block_calls;
    const double wall = m.wall - clock_cost;
    const double blocks = m.stats.block_seconds - clock_cost / 2;
    const double host_and_solver = wall - blocks - m.writing;
    std::printf("  (less the clock readings: %.4f s for %ld timed block calls)\n", clock_cost,
                m.stats.timed_block_calls);
    std::printf("  inside the blocks' methods: %6.1f %%  (%.4f s)\n", 100 * blocks / wall, blocks);
    std::printf("  host and solver:            %6.1f %%  (%.4f s)\n", 100 * host_and_solver / wall,
                host_and_solver);
    std::printf("  writing the results:        %6.1f %%  (%.4f s)\n", 100 * m.writing / wall,
                m.writing);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const Scenario scenario = argc > 1 ? Scenario::load(argv[1]) : Scenario::builtInDefault();
        char folder_template[] = "/tmp/tavrel_run_bench_XXXXXX";
        if (!mkdtemp(folder_template)) throw std::runtime_error("cannot create a temporary folder");
        const std::filesystem::path folder = folder_template;
        const int repeats = 5;
        const Measurement plain = fastestRun(scenario, folder, repeats, false);
        const Measurement profiled = fastestRun(scenario, folder, repeats, true);
        const long memory_short = peakKilobytes();
        Scenario longer = scenario;
        longer.duration = scenario.duration * 30;
        CountingSink rows;
        runScenario(longer, rows);
        const long memory_long = peakKilobytes();
        std::filesystem::remove_all(folder);

        std::printf("scenario: %s, %.6g s simulated, best of %d runs writing results.csv and "
                    "results.mat\n",
                    scenario.source_name.c_str(), scenario.duration, repeats);
        std::printf("wall time:                    %.4f s (processor time %.4f s)\n", plain.wall,
                    plain.cpu);
        std::printf("real-time factor:             %.0f (simulated s per wall s)\n",
                    scenario.duration / plain.wall);
        std::printf("solver steps:                 %ld\n", plain.stats.steps);
        std::printf("right-hand sides:             %ld (%.0f per wall s)\n",
                    plain.stats.rhs_evaluations, plain.stats.rhs_evaluations / plain.wall);
        std::printf("split (profiled runs, best %.4f s; timing each block call adds a little):\n",
                    profiled.wall);
        printSplit(profiled);
        std::printf("peak memory:                  %ld kB after the %.6g s runs, %ld kB after a "
                    "%.6g s run (%.2f x); %ld rows\n",
                    memory_short, scenario.duration, memory_long, longer.duration,
                    static_cast<double>(memory_long) / memory_short, rows.rows);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavrel_run_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
