#include "serve_session.h"

#include "background_sink.h"
#include "exact_number.h"
#include "inheriting_mutex.h"
#include "modbus_server.h"
#include "plant_board.h"
#include "register_map.h"
#include "replay.h"
#include "result_files.h"
#include "result_folder.h"
#include "simulation.h"
#include "summary.h"
#include "tick_stats.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>

namespace tavrel::serve {

namespace {

using Clock = std::chrono::steady_clock;

std::string portName(const sim::PortRef& ref) { return ref.block + "." + ref.port; }

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Sleeps until `deadline` on the monotonic clock (the steady clock's), or until a signal.
void sleepUntil(Clock::time_point deadline) {
    const auto since = deadline.time_since_epoch();
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(since);
    const timespec at{static_cast<time_t>(whole.count()),
                      static_cast<long>(std::chrono::nanoseconds(since - whole).count())};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

// The paced ticks run at a real-time priority where the system grants one, so that a loaded
// machine delays them less; the files and the clients stay at the normal one. What was got,
// for the summary.
std::string raiseToRealTime() {
    sched_param priority{};
    priority.sched_priority = 20;
    const int refused = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    if (!refused) return "Ticks at real-time priority (SCHED_FIFO 20)\n";
    return std::string("Ticks at normal priority (real-time priority refused: ") +
           std::strerror(refused) + ")\n";
}

// events.csv, written from the network threads and the session's. A failed write is kept and
// reported by the session, since a client's thread has nobody to tell.
class EventFile {
  public:
    EventFile(const std::filesystem::path& path, Clock::time_point start,
              const std::atomic<double>& time)
        : log_(path, "wall [s],time [s],client,event,name,value,detail\n", "serve session"),
          start_(start), time_(time) {
        log_.rewrite({});
    }
    void operator()(const Event& e) {
        const std::string row = shortestNumber(std::round(secondsSince(start_) * 1e6) / 1e6) + "," +
                                shortestNumber(time_.load()) + "," + std::to_string(e.client) +
                                "," + e.kind + "," + csvText(e.name) + "," +
                                (e.has_value ? shortestNumber(e.value) : "") + "," +
                                csvText(e.detail) + "\n";
        std::lock_guard lock(mutex_);
        try {
            log_.append(row);
        } catch (...) {
            if (!failure_) failure_ = std::current_exception();
        }
    }
    void check() {
        std::lock_guard lock(mutex_);
        if (failure_) std::rethrow_exception(failure_);
    }

  private:
    CsvLog log_;
    Clock::time_point start_;
    const std::atomic<double>& time_;
    InheritingMutex mutex_;
    std::exception_ptr failure_;
};

// A tick more than this part of the period behind its deadline is late.
constexpr double late_fraction = 0.1;

// The last output interval's index: the rows a run of the scenario logs are 0 to this.
long lastStep(const sim::Scenario& s) {
    const double end = s.start_time + s.duration + 1e-9 * s.output_interval;
    long n = static_cast<long>(std::floor(s.duration / s.output_interval));
    while (s.start_time + static_cast<double>(n + 1) * s.output_interval <= end)
        ++n;
    while (n > 0 && s.start_time + static_cast<double>(n) * s.output_interval > end)
        --n;
    return n;
}

std::vector<NamedValue> namesOf(const sim::Simulation& simulation,
                                const std::vector<sim::PortRef>& ports) {
    std::vector<NamedValue> names;
    for (const auto& p : ports)
        names.push_back({portName(p), simulation.unit(p)});
    return names;
}

// The ticks: inputs applied, the row logged, the registers published; then the next interval.
class Session {
  public:
    Session(const sim::Scenario& scenario, const ServeOptions& options, sim::Simulation& simulation,
            PlantBoard& board, EventFile& events, std::vector<sim::PortRef> read,
            std::vector<sim::ServedInput> write, sim::ResultSink& rows)
        : scenario_(scenario), options_(options), sim_(simulation), board_(board), events_(events),
          read_(std::move(read)), write_(std::move(write)), rows_(rows),
          period_(scenario.output_interval / options.speed), stats_(late_fraction * period_) {
        for (const auto& w : write_)
            applied_.push_back({w.port, {}, {}});
        following_client_.assign(write_.size(), false);
    }

    // Runs to the end or to a stop; the stop signal's number, or 0.
    int run(std::atomic<double>& time) {
        const long last = lastStep(scenario_);
        const Status waiting = options_.lockstep ? Status::paused : Status::running;
        if (!options_.lockstep) priority_ = raiseToRealTime();
        start_ = Clock::now();
        tick(0, waiting);
        for (long k = 1; k <= last; ++k) {
            if (const int stop = stopRequested()) return stop;
            if (options_.lockstep) {
                while (!board_.takeAdvance(0.05)) {
                    if (const int stop = stopRequested()) return stop;
                }
                board_.setStatus(Status::running);
            }
            const double t = timeOf(k);
            sim_.advanceTo(t);
            time = t;
            Status status = waiting;
            if (!options_.lockstep && pace(k)) status = Status::late;
            tick(k, status);
        }
        return 0;
    }

    const TickStats& stats() const { return stats_; }
    const std::string& priority() const { return priority_; }
    const std::vector<AppliedSeries>& applied() const { return applied_; }
    double lastTime() const { return last_time_; }

  private:
    double timeOf(long k) const {
        return scenario_.start_time + static_cast<double>(k) * scenario_.output_interval;
    }
    int stopRequested() const { return options_.stop_requested ? options_.stop_requested() : 0; }

    // Waits for tick k's moment; true when it came late.
    bool pace(long k) {
        const auto deadline =
            start_ + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(static_cast<double>(k) * period_));
        while (Clock::now() < deadline && !stopRequested())
            sleepUntil(deadline);
        late_by_ = std::chrono::duration<double>(Clock::now() - deadline).count();
        return late_by_ > late_fraction * period_;
    }

    void tick(long k, Status status) {
        const double t = timeOf(k);
        applyInputs(t);
        rows_.row(t, sim_.loggedValues());
        std::vector<double> values;
        for (const auto& p : read_)
            values.push_back(sim_.output(p.block, p.port));
        std::vector<double> applied;
        for (const auto& a : applied_)
            applied.push_back(a.values.back());
        board_.publish(t, k, status, values, applied);
        last_time_ = t;
        if (k == 0 || options_.lockstep) return;
        const double drift = secondsSince(start_) - (t - scenario_.start_time) / options_.speed;
        if (stats_.add(late_by_, drift)) {
            events_({0, "late", "", late_by_, true, "tick " + std::to_string(k) + " late [s]"});
        }
    }

    // A client's value while its writer is heard, else the input's own source, sampled.
    void applyInputs(double t) {
        const auto client = board_.clientInputs();
        for (size_t i = 0; i < write_.size(); ++i) {
            const auto& port = write_[i].port;
            const double value = client[i] ? *client[i] : sim_.sourceValue(port.block, port.port);
            if (client[i].has_value() != following_client_[i]) {
                following_client_[i] = client[i].has_value();
                events_({0, client[i] ? "client" : "fall-back", portName(port), value, true,
                         client[i] ? "a client's value applies"
                                   : "no write within the timeout: the scenario's source applies"});
            }
            sim_.setInput(port.block, port.port, value);
            applied_[i].add(t, value);
        }
    }

    const sim::Scenario& scenario_;
    const ServeOptions& options_;
    sim::Simulation& sim_;
    PlantBoard& board_;
    EventFile& events_;
    std::vector<sim::PortRef> read_;
    std::vector<sim::ServedInput> write_;
    sim::ResultSink& rows_;
    double period_; // wall-clock seconds between ticks
    TickStats stats_;
    std::vector<AppliedSeries> applied_;
    std::vector<bool> following_client_;
    Clock::time_point start_;
    double late_by_ = 0;
    double last_time_ = 0;
    std::string priority_;
};

std::string fingerprint(const std::string& text) {
    char hex[20];
    std::snprintf(hex, sizeof hex, "%016zx", std::hash<std::string>{}(text));
    return hex;
}

// The files the session leaves beside results.csv and events.csv.
void writeClosingFiles(const ResultFolder& folder, const sim::Scenario& scenario,
                       const std::string& scenario_text, const Session& session,
                       const std::string& summary) {
    folder.writeWhole("summary.txt", summary);
    std::string written;
    for (const auto& a : session.applied())
        written += (written.empty() ? "" : ", ") + portName(a.port);
    const std::string header =
        "Replay of a `tavrel serve` session of " + scenario.source_name +
        ": `tavrel run` on this file\nreproduces the session's results.csv. Inputs written "
        "over the network, as applied\n(held from tick to tick): " +
        (written.empty() ? "none" : written) + ".";
    folder.writeWhole("replay.toml", replayText(scenario_text, scenario, session.applied(),
                                                session.lastTime() - scenario.start_time, header));
}

// A fresh folder: a session is never resumed, so a used one is refused with no word of it.
ResultFolder sessionFolder(const std::string& path, const std::string& scenario_text) {
    const ResultKind kind{
        "serve session", "serve.id", {"results.csv", "events.csv", "replay.toml", "summary.txt"}};
    auto names = kind.results;
    names.push_back(kind.id_file);
    for (const auto& name : names) {
        if (std::filesystem::exists(std::filesystem::path(path) / name)) {
            throw SessionError(path + ": holds a session's " + name +
                               " already; choose another folder (-o) for a new one");
        }
    }
    return ResultFolder(path, kind, fingerprint(scenario_text), false);
}

std::string sessionSummary(const sim::Scenario& scenario, const ServeOptions& options,
                           const Session& session, const sim::SummarySink& summary,
                           int stopped_by) {
    char head[200];
    std::snprintf(head, sizeof head, "Session %s at t = %.6g s (of %.6g s), %s.\n",
                  stopped_by ? "interrupted" : "ended", session.lastTime(),
                  scenario.start_time + scenario.duration,
                  options.lockstep ? "in lockstep" : "paced to the wall clock");
    std::string text = head;
    if (!options.lockstep) {
        char pace[120];
        std::snprintf(pace, sizeof pace, "Speed %.6g: a tick of %.6g s simulated every %.6g ms\n",
                      options.speed, scenario.output_interval,
                      1e3 * scenario.output_interval / options.speed);
        text += pace + session.priority() + session.stats().report();
    }
    return text + summary.report();
}

} // namespace

SessionOutcome serveScenario(const sim::Scenario& scenario, const std::string& scenario_text,
                             const ServeOptions& options) {
    if (!(options.speed > 0 && std::isfinite(options.speed))) {
        throw SessionError("--speed must be a positive number");
    }
    std::vector<sim::ServedInput> write;
    if (!options.read_only) write = scenario.serve.write;
    sim::Simulation simulation(scenario);
    std::vector<sim::PortRef> read = scenario.serve.read;
    if (read.empty()) {
        for (const auto& c : simulation.columns())
            read.push_back({c.block, c.port});
    }
    std::vector<sim::PortRef> write_ports;
    std::vector<InputRule> rules;
    for (const auto& w : write) {
        write_ports.push_back(w.port);
        rules.push_back({w.min, w.max});
    }
    const RegisterMap map(namesOf(simulation, read), namesOf(simulation, write_ports),
                          scenario.serve.format, options.lockstep);
    // Listening first: an address that cannot be had leaves no folder behind.
    auto server = std::make_unique<ModbusServer>(options.host, options.port);
    const ResultFolder folder = sessionFolder(options.output, scenario_text);
    writeCsvTable(folder.path() / "register_map.csv", map.csvLines());

    std::atomic<double> time{scenario.start_time};
    const auto start = Clock::now();
    EventFile events(folder.path() / "events.csv", start, time);
    std::function<double()> clock = [start] { return secondsSince(start); };
    if (options.lockstep) clock = [&time] { return time.load(); };
    PlantBoard board(map, rules, scenario.serve.timeout, clock, std::ref(events));

    sim::CsvSink csv((folder.path() / "results.csv").string());
    sim::BackgroundSink files({&csv});
    sim::SummarySink summary(scenario);
    sim::TeeSink rows({&files, &summary});
    rows.begin(simulation.columns());

    Session session(scenario, options, simulation, board, events, read, write, rows);
    int stopped_by = 0;
    try { // the clients' threads use the board: they are joined before it goes
        server->start(board, std::ref(events));
        if (options.say) {
            options.say("Listening on " + options.host + ":" + std::to_string(server->port()) +
                        " (Modbus TCP, " + (options.lockstep ? "lockstep" : "paced") +
                        "); register map:\n" + map.text());
        }
        stopped_by = session.run(time);
        board.setStatus(Status::stopped);
        const auto end = Clock::now();
        while (!stopped_by && secondsSince(end) < options.linger && server->clients() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } catch (...) {
        server.reset();
        rows.end(); // the rows up to the failure stand
        throw;
    }
    server.reset();
    rows.end();
    events.check();
    SessionOutcome outcome;
    outcome.summary = sessionSummary(scenario, options, session, summary, stopped_by);
    outcome.stopped_by = stopped_by;
    outcome.last_time = session.lastTime();
    writeClosingFiles(folder, scenario, scenario_text, session, outcome.summary);
    return outcome;
}

} // namespace tavrel::serve
