// Soak benchmark: the default scenario (or the given one) run for 120 s and for 3600 s
// simulated, each into real result files in a fresh folder. Passes when both runs' files are
// complete (every logged row in the CSV and in the MAT file) and the peak memory of the long
// run is within 10 % of the short one's: nothing may grow with the simulated time.
//
//   tavrel_soak_bench [SCENARIO]    (each run in its own process, so each peak is its own)
#include "background_sink.h"
#include "result_files.h"
#include "scenario.h"
#include "simulation.h"

#include <matio.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace tavrel::sim;

long csvRows(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    long rows = -1; // the header
    while (std::getline(in, line))
        ++rows;
    return rows;
}

long matRows(const std::filesystem::path& path) {
    mat_t* file = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    if (!file) return -1;
    matvar_t* time = Mat_VarReadInfo(file, "time");
    const long rows = time ? static_cast<long>(time->dims[0]) : -1;
    Mat_VarFree(time);
    Mat_Close(file);
    return rows;
}

// Runs `duration` simulated seconds into files in `folder`, in a child process; returns the
// child's peak memory in kB, or -1 if it failed.
long runInChild(const Scenario& base, double duration, const std::filesystem::path& folder) {
    const pid_t child = fork();
    if (child == 0) {
        try {
            Scenario scenario = base;
            scenario.duration = duration;
            std::filesystem::create_directories(folder);
            CsvSink csv((folder / "results.csv").string());
            MatSink mat((folder / "results.mat").string());
            BackgroundSink both({&csv, &mat}); // as `tavrel run` writes them
            runScenario(scenario, both);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "tavrel_soak_bench: %s\n", error.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{}; // of this child alone
    if (wait4(child, &status, 0, &usage) != child) return -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const Scenario scenario = argc > 1 ? Scenario::load(argv[1]) : Scenario::builtInDefault();
        const auto folder =
            std::filesystem::temp_directory_path() / ("tavrel_soak_" + std::to_string(getpid()));
        bool passed = true;
        long peaks[2] = {};
        const double durations[2] = {120.0, 3600.0};
        for (int i = 0; i < 2; ++i) {
            const auto out = folder / std::to_string(static_cast<int>(durations[i]));
            peaks[i] = runInChild(scenario, durations[i], out);
            const long expected = std::lround(durations[i] / scenario.output_interval) + 1;
            const long csv = csvRows(out / "results.csv"), mat = matRows(out / "results.mat");
            std::printf("%6.0f s simulated: peak %ld kB, %ld rows in results.csv and %ld in "
                        "results.mat (%ld expected)\n",
                        durations[i], peaks[i], csv, mat, expected);
            passed = passed && peaks[i] > 0 && csv == expected && mat == expected;
        }
        const double ratio = static_cast<double>(peaks[1]) / static_cast<double>(peaks[0]);
        std::printf("peak memory 3600 s / 120 s: %.3f (limit 1.10)\n", ratio);
        passed = passed && ratio <= 1.10;
        std::filesystem::remove_all(folder);
        std::printf("%s\n", passed ? "PASSED" : "FAILED");
        return passed ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavrel_soak_bench: %s\n", error.what());
        return 1;
    }
}
