// Study benchmark: the same cases with 1 and 2 worker processes (speed-up), the machinery's
// share over the cases' own run times, and the runner's peak memory as the case count grows.
// Wall times depend on what else the machine runs; the workers' CPU time is printed alongside.
#include "local_runner.h"
#include "study.h"
#include "study_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace tavrel;
namespace fs = std::filesystem;

study::Study periodSweep(double duration, int cases) {
    std::string periods;
    for (int k = 0; k < cases; ++k)
        periods += (k ? ", " : "") + std::to_string(5.0 + 0.25 * k);
    const std::string text =
        "scenario = \"default\"\n[simulation]\nduration = " + std::to_string(duration) +
        "\n[study]\nmetrics = [\"rig.bottom_pressure:swing\", "
        "\"rig.bottom_pressure:amplitude\"]\n[[study.vary]]\n"
        "key = \"rig.displacer_velocity.period\"\nvalues = [" +
        periods + "]\n";
    return study::Study::fromSource({text, "bench.toml", sim::defaultScenarioText(),
                                     "<default scenario>", fs::current_path().string()});
}

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

study::LocalRunSummary runIn(const study::Study& s, int jobs, const std::string& name) {
    const fs::path folder =
        fs::temp_directory_path() / ("tavrel_study_bench_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(folder);
    study::StudyOutput output(s, folder, false);
    const auto summary = study::runLocal(s, output, {jobs, false, false});
    fs::remove_all(folder);
    return summary;
}

} // namespace

int main() {
    try {
        const study::Study sweep = periodSweep(120.0, 8);
        // The cases alone in this process, one after the other: what the study must not exceed.
        double alone = 0;
        const double self_start = cpuSeconds(RUSAGE_SELF);
        for (size_t i = 0; i < sweep.caseCount(); ++i)
            alone += sweep.run(i).seconds;
        const double alone_cpu = cpuSeconds(RUSAGE_SELF) - self_start;

        // CPU of the workers and of the runner itself, so that the overhead shows on a busy
        // machine too. 1 and 2 jobs alternate, and the medians of five rounds are compared, so
        // that a passing load on the machine does not decide the ratio.
        auto cpu = [] { return cpuSeconds(RUSAGE_CHILDREN) + cpuSeconds(RUSAGE_SELF); };
        constexpr int rounds = 5;
        std::vector<double> wall_one, wall_two, cpu_one, cpu_two;
        for (int round = 0; round < rounds; ++round) {
            double mark = cpu();
            wall_one.push_back(runIn(sweep, 1, "one").wall_seconds);
            cpu_one.push_back(cpu() - mark);
            mark = cpu();
            wall_two.push_back(runIn(sweep, 2, "two").wall_seconds);
            cpu_two.push_back(cpu() - mark);
        }
        const double one = median(wall_one), two = median(wall_two);
        const double one_cpu = median(cpu_one), two_cpu = median(cpu_two);

        std::printf("%zu cases of the default well, 120 s each; medians of %d rounds\n",
                    sweep.caseCount(), rounds);
        std::printf("  alone in one process   %7.3f s wall, %7.3f s CPU\n", alone, alone_cpu);
        std::printf("  1 job                  %7.3f s wall, %7.3f s CPU\n", one, one_cpu);
        std::printf("  2 jobs                 %7.3f s wall, %7.3f s CPU\n", two, two_cpu);
        std::printf("  speed-up 2 jobs/1 job  %7.2f x (target >= 1.7)\n", one / two);
        std::printf(
            "  machinery overhead     %7.1f %% wall, %5.1f %% CPU over the runs alone (1 job; "
            "target <= 5)\n",
            100 * (one - alone) / alone, 100 * (one_cpu - alone_cpu) / alone_cpu);

        // The machinery's own cost per case (fork, pipe, row), from cases that barely run; as
        // a share of a case it does not depend on how busy the machine is.
        const study::Study tiny = periodSweep(0.05, 100);
        double tiny_alone = 0;
        for (size_t i = 0; i < tiny.caseCount(); ++i)
            tiny_alone += tiny.run(i).seconds;
        const double tiny_one = runIn(tiny, 1, "tiny").wall_seconds;
        const double per_case = (tiny_one - tiny_alone) / double(tiny.caseCount());
        std::printf(
            "  machinery per case     %7.2f ms = %.1f %% of a case run alone (target <= 5)\n",
            1e3 * per_case, 100 * per_case / (alone / double(sweep.caseCount())));

        // The runner keeps no rows: its peak memory stays put from 16 to 256 short cases.
        runIn(periodSweep(1.0, 16), 2, "small");
        const long small = peakKilobytes();
        runIn(periodSweep(1.0, 256), 2, "large");
        const long large = peakKilobytes();
        std::printf("  runner peak memory     %ld kB after 16 cases, %ld kB after 256 more\n",
                    small, large);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "study bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
