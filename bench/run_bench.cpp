// End-to-end benchmark of a scenario (the default without one), run as `tavrel run` runs it:
// results.csv and results.mat written (to a temporary folder). Prints the wall time, the
// real-time factor and right-hand sides per second (best of several runs), where the time goes
// (inside the blocks' methods, host and solver, writing the results), and the peak memory
// after short runs and after a 30 times longer one.
//
// Where the time goes is sampled, as a profiler would: a timer interrupts the integrating
// thread 2,000 times a second of wall time and counts what it was doing, told by markers that
// the simulation and the result files set. Timing every block call with the clock instead
// costs as much as a small block method and lands in the host's share.
#include "background_sink.h"
#include "result_files.h"
#include "scenario.h"
#include "simulation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace tavrel::sim;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the integrating thread is doing, as the sampling timer's signal handler reads it.
volatile std::sig_atomic_t in_run = 0;
volatile std::sig_atomic_t in_block_method = 0;
volatile std::sig_atomic_t in_host = 0;
volatile std::sig_atomic_t in_writing = 0;

enum Activity { blocks, host, solver, writing, activities };
std::atomic<long> samples[activities];

extern "C" void takeSample(int) {
    if (!in_run) return;
    const Activity now = in_block_method ? blocks : in_writing ? writing : in_host ? host : solver;
    samples[now].fetch_add(1, std::memory_order_relaxed);
}

// Interrupts the calling thread at a fixed rate of wall time while it exists.
class SamplingTimer {
  public:
    explicit SamplingTimer(long interval_ns) {
        struct sigaction action {};
        action.sa_handler = &takeSample;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGPROF, &action, nullptr);
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = SIGPROF;
        event._sigev_un._tid = gettid(); // the C library names no field for it
        if (timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0)
            throw std::runtime_error("cannot create the sampling timer");
        const timespec interval{0, interval_ns};
        const itimerspec period{interval, interval};
        timer_settime(timer_, 0, &period, nullptr);
    }
    ~SamplingTimer() {
        timer_delete(timer_);
        signal(SIGPROF, SIG_IGN);
    }

  private:
    timer_t timer_{};
};

// The result files as `tavrel run` writes them (on a writer thread), with the time that the
// integrating thread spends handing rows over and waiting for the files at the end.
class TimedFileSink : public ResultSink {
  public:
    explicit TimedFileSink(const std::filesystem::path& folder)
        : csv_((folder / "results.csv").string()), mat_((folder / "results.mat").string()) {}
    void begin(const std::vector<Column>& columns) override {
        timed([&] { both_.begin(columns); });
    }
    void row(double t, const std::vector<double>& values) override {
        timed([&] { both_.row(t, values); });
    }
    void end() override {
        timed([&] { both_.end(); });
    }
    double seconds() const { return seconds_; }

  private:
    template <class Write> void timed(const Write& write) {
        const Marking writing(&in_writing);
        const auto start = Clock::now();
        write();
        seconds_ += secondsSince(start);
    }
    CsvSink csv_;
    MatSink mat_;
    BackgroundSink both_{{&csv_, &mat_}};
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
Measurement fastestRun(const Scenario& scenario, const std::filesystem::path& folder, int repeats) {
    Measurement best;
    for (int i = 0; i < repeats; ++i) {
        TimedFileSink sink(folder);
        const auto start = Clock::now();
        const double cpu_start = processorSeconds();
        RunStatistics stats = runScenario(scenario, sink);
        const double wall = secondsSince(start);
        const double cpu = processorSeconds() - cpu_start;
        if (wall < best.wall) best = {wall, cpu, sink.seconds(), std::move(stats)};
    }
    return best;
}

// Two thousand samples a second: more often, handling the timer's signals (slow on a virtual
// machine) disturbs the run it measures.
constexpr long sample_interval_ns = 500'000;

// Runs sampled by the timer; the shares are those of all their samples together.
void sampledRuns(const Scenario& scenario, const std::filesystem::path& folder, int repeats) {
    const SamplingTimer timer(sample_interval_ns);
    for (int i = 0; i < repeats; ++i) {
        TimedFileSink sink(folder);
        const Marking running(&in_run);
        runScenario(scenario, sink, {}, {.block_method = &in_block_method, .host = &in_host});
    }
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void printSplit() {
    long total = 0;
    for (const auto& count : samples)
        total += count;
    auto line = [&](const char* what, long count) {
        const double share = static_cast<double>(count) / std::max(total, 1L);
        const double error = std::sqrt(share * (1 - share) / std::max(total, 1L));
        std::printf("  %-30s %5.1f %% (+- %.1f)\n", what, 100 * share, 100 * error);
    };
    std::printf("split (%ld samples of the integrating thread over sampled runs):\n", total);
    line("inside the blocks' methods:", samples[blocks]);
    line("host and solver:", samples[host] + samples[solver]);
    line("  host (inputs, checks):", samples[host]);
    line("  solver (steps, vectors):", samples[solver]);
    line("writing the results:", samples[writing]);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const Scenario scenario = argc > 1 ? Scenario::load(argv[1]) : Scenario::builtInDefault();
        char folder_template[] = "/tmp/tavrel_run_bench_XXXXXX";
        if (!mkdtemp(folder_template)) throw std::runtime_error("cannot create a temporary folder");
        const std::filesystem::path folder = folder_template;
        const int repeats = 5;
        const Measurement plain = fastestRun(scenario, folder, repeats);
        sampledRuns(scenario, folder, 6 * repeats);
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
        std::printf("writing the results:          %.4f s of the fastest run\n", plain.writing);
        printSplit();
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
