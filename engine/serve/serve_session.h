// A scenario served as a real-time plant: the simulation advances one output interval per tick,
// paced to the wall clock (or, in lockstep, when a client asks), its inputs in [serve] written
// and its values read by control systems over Modbus TCP. The session leaves in its folder the
// logged rows (results.csv, with the inputs as applied), the events (events.csv), the register
// map, a summary with the ticks' lateness, and replay.toml, which `tavrel run` reproduces.
#pragma once

#include "scenario.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace tavrel::serve {

struct ServeOptions {
    std::string output = "serve_out";
    std::string host = "127.0.0.1";
    int port = 5020;
    double speed = 1;       // simulated seconds per wall-clock second
    bool lockstep = false;  // advance only when a client writes `advance`
    bool read_only = false; // no input written by clients
    double linger = 2;      // s the server still answers after the end, while clients are on
    // Lines for the console: where the server listens and its register map, once it does.
    std::function<void(const std::string&)> say;
    // Asked at every tick (and while waiting in lockstep): a stop signal's number, or 0.
    std::function<int()> stop_requested;
};

struct SessionOutcome {
    std::string summary; // as summary.txt holds it
    int stopped_by = 0;  // the stop signal that ended the session early, or 0
    double last_time = 0;
};

struct SessionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs the session; `scenario_text` is the file the scenario was loaded from (for replay.toml).
SessionOutcome serveScenario(const sim::Scenario& scenario, const std::string& scenario_text,
                             const ServeOptions& options);

} // namespace tavrel::serve
