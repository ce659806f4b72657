// End-to-end benchmark: runs a scenario (the default without one) several times with results
// kept in memory, and prints the real-time factor, right-hand sides per second, the share of
// time inside the blocks' methods, and the peak memory for a short and a long run.
#include "result_files.h"
#include "scenario.h"
#include "simulation.h"

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

// Counts rows without keeping them: memory must not grow with the simulated duration.
struct CountingSink : tavrel::sim::ResultSink {
    long rows = 0;
    void begin(const std::vector<tavrel::sim::Column>&) override {}
    void row(double, const std::vector<double>&) override { ++rows; }
    void end() override {}
};

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tavrel::sim;
    try {
        Scenario scenario = argc > 1 ? Scenario::load(argv[1]) : Scenario::builtInDefault();
        const int repeats = 5;
        double best_wall = 1e300;
        RunStatistics best;
        for (int i = 0; i < repeats; ++i) {
            CountingSink sink;
            const RunStatistics stats = runScenario(scenario, sink, {}, true);
            if (stats.total_seconds < best_wall) {
                best_wall = stats.total_seconds;
                best = stats;
            }
        }
        const long memory_short = peakKilobytes();
        Scenario longer = scenario;
        longer.duration = scenario.duration * 10;
        CountingSink sink;
        const RunStatistics long_run = runScenario(longer, sink, {}, false);
        const long memory_long = peakKilobytes();

        std::printf("scenario: %s, %.6g s simulated, best of %d runs\n",
                    scenario.source_name.c_str(), scenario.duration, repeats);
        std::printf("wall time:                  %.4f s\n", best_wall);
        std::printf("real-time factor:           %.0f (simulated s per wall s)\n",
                    scenario.duration / best_wall);
        std::printf("solver steps:               %ld\n", best.steps);
        std::printf("right-hand sides:           %ld (%.0f per wall s)\n", best.rhs_evaluations,
                    best.rhs_evaluations / best_wall);
        std::printf("time in the blocks:         %.1f %% (host and solver %.1f %%)\n",
                    100 * best.block_seconds / best_wall,
                    100 * (1 - best.block_seconds / best_wall));
        std::printf("host overhead / block time: %.2f\n",
                    (best_wall - best.block_seconds) / std::max(best.block_seconds, 1e-12));
        std::printf("peak memory:                %ld kB after %.6g s runs, %ld kB after a %.6g s "
                    "run (%.2f x); %ld rows\n",
                    memory_short, scenario.duration, memory_long, longer.duration,
                    static_cast<double>(memory_long) / memory_short, sink.rows);
        (void)long_run;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavrel_run_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
