#include "local_runner.h"

#include "progress_bar.h"

#include "plugin_cache.h"

#include "atomic_file.h"
#include "result_files.h"
#include "stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

namespace tavrel::study {

namespace fs = std::filesystem;

namespace {

struct Worker {
    pid_t pid = -1;
    int fd = -1;
    size_t index = 0;
    std::string message;
};

// A result crosses the pipe as one line of exact (hexadecimal) numbers.
std::string encode(const CaseResult& r) {
    std::string text = r.ok ? "ok" : "failed";
    char number[40];
    std::snprintf(number, sizeof number, " %a", r.seconds);
    text += number;
    if (r.ok) {
        for (double v : r.values) {
            std::snprintf(number, sizeof number, " %a", v);
            text += number;
        }
    } else {
        text += " " + r.error;
    }
    return text + "\n";
}

CaseResult decode(const std::string& message, int status, size_t metric_count) {
    CaseResult r;
    std::istringstream in(message);
    std::string word;
    in >> word;
    if (message.empty() || message.back() != '\n' || (word != "ok" && word != "failed")) {
        r.error = WIFSIGNALED(status)
                      ? "the worker process ended on signal " + std::to_string(WTERMSIG(status)) +
                            " (" + strsignal(WTERMSIG(status)) + ")"
                      : "the worker process ended without a result";
        return r;
    }
    std::string field;
    in >> field;
    r.seconds = std::strtod(field.c_str(), nullptr);
    if (word == "failed") {
        std::getline(in >> std::ws, r.error);
        return r;
    }
    for (size_t m = 0; m < metric_count && in >> field; ++m) {
        r.values.push_back(std::strtod(field.c_str(), nullptr));
    }
    r.ok = r.values.size() == metric_count;
    if (!r.ok) r.error = "the worker process sent an incomplete result";
    return r;
}

fs::path caseFolder(const fs::path& folder, size_t index) {
    return folder / "cases" / std::to_string(index);
}

[[noreturn]] void runWorker(const Study& study, size_t index, int fd, const fs::path& folder,
                            bool keep_results) {
    StopSignals::useDefaults();
    CaseResult result;
    try {
        std::unique_ptr<sim::CsvSink> csv;
        if (keep_results) {
            const fs::path dir = caseFolder(folder, index);
            fs::create_directories(dir);
            const std::string scenario = (dir / "scenario.toml").string();
            const std::string why = writeWholeFile(scenario, study.caseText(index));
            if (!why.empty()) throw StudyError("cannot write " + scenario + ": " + why);
            csv = std::make_unique<sim::CsvSink>((dir / "results.csv").string());
        }
        result = study.run(index, csv.get());
    } catch (const std::exception& error) {
        result.error = error.what();
    }
    const std::string text = encode(result);
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::write(fd, text.data() + sent, text.size() - sent);
        if (n <= 0 && errno != EINTR) _exit(1);
        if (n > 0) sent += size_t(n);
    }
    _exit(0);
}

Worker start(const Study& study, size_t index, const fs::path& folder, bool keep_results) {
    int fds[2];
    if (pipe(fds) != 0)
        throw StudyError(std::string("cannot start a worker: ") + std::strerror(errno));
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw StudyError(std::string("cannot start a worker: ") + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        runWorker(study, index, fds[1], folder, keep_results);
    }
    close(fds[1]);
    return {pid, fds[0], index, {}};
}

// Reads what is there; true once the worker closed its end.
bool drain(Worker& w) {
    char buffer[4096];
    const ssize_t n = read(w.fd, buffer, sizeof buffer);
    if (n > 0) {
        w.message.append(buffer, size_t(n));
        return false;
    }
    return n == 0 || errno != EINTR;
}

int finish(Worker& w) {
    close(w.fd);
    int status = 0;
    while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

void stopAll(std::vector<Worker>& workers) {
    for (auto& w : workers)
        kill(w.pid, SIGTERM);
    for (auto& w : workers)
        finish(w);
    workers.clear();
}

// The plug-ins of the study's scenario, opened once here so that every forked worker inherits
// them mapped and relocated instead of loading them again for its case. A plug-in that does not
// open is left to the case, which reports it.
void preloadPlugins(const Study& study) {
    if (study.caseCount() == 0) return;
    try {
        const sim::Scenario scenario = study.scenarioFor(0);
        for (const auto& block : scenario.blocks)
            host::openPluginOnce(host::pluginPath(block.plugin, scenario.base_dir));
    } catch (const std::exception&) {
    }
}

} // namespace

LocalRunSummary runLocal(const Study& study, StudyOutput& output, const LocalRunOptions& options) {
    preloadPlugins(study);
    const auto begin = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    };
    const size_t jobs =
        options.jobs > 0 ? size_t(options.jobs) : std::max(1u, std::thread::hardware_concurrency());
    LocalRunSummary summary;
    std::vector<size_t> pending;
    for (size_t i = study.caseCount(); i-- > 0;) {
        if (output.done(i))
            ++summary.skipped;
        else
            pending.push_back(i); // taken from the back: case order
    }
    const StopSignals signals(StopSignals::Second::asks_again);
    const ProgressBar bar(options.progress, study.caseCount(), output.doneCount());
    std::vector<Worker> workers;
    bar.update(output.doneCount(), 0);
    try {
        while ((!pending.empty() || !workers.empty()) && !StopSignals::requested()) {
            while (workers.size() < jobs && !pending.empty() && !StopSignals::requested()) {
                workers.push_back(
                    start(study, pending.back(), output.folder(), options.keep_results));
                pending.pop_back();
            }
            std::vector<pollfd> fds;
            for (const auto& w : workers)
                fds.push_back({w.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) {
                throw StudyError(std::string("waiting for workers failed: ") +
                                 std::strerror(errno));
            }
            for (size_t k = fds.size(); k-- > 0;) {
                if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)) || !drain(workers[k]))
                    continue;
                const int status = finish(workers[k]);
                const CaseResult result =
                    decode(workers[k].message, status, study.metrics().size());
                const size_t index = workers[k].index;
                workers.erase(workers.begin() + long(k));
                if (!result.ok && options.keep_results) { // a worker that died left its part file
                    std::error_code ignored;
                    fs::remove(
                        partPath((caseFolder(output.folder(), index) / "results.csv").string()),
                        ignored);
                }
                // Stopped, not failed: it runs again on resume.
                if (StopSignals::requested() && !result.ok) continue;
                output.write(index, result);
                ++summary.ran;
                summary.failed += result.ok ? 0 : 1;
                summary.case_seconds += result.seconds;
            }
            bar.update(output.doneCount(), summary.failed);
        }
    } catch (...) {
        stopAll(workers);
        bar.close();
        throw;
    }
    stopAll(workers); // cases still running when stopped: missing, so resume runs them
    bar.close();
    summary.interrupted = StopSignals::requested() != 0;
    summary.wall_seconds = elapsed();
    if (!summary.interrupted && output.doneCount() == study.caseCount()) output.finish();
    return summary;
}

} // namespace tavrel::study
