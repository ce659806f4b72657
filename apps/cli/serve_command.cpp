// `tavrel serve SCENARIO`: the scenario as a real-time plant for a control system on Modbus
// TCP, each session left replayable in its folder (engine/serve).
#include "command_support.h"
#include "commands.h"

#include "bounded_file.h"
#include "scenario.h"
#include "serve_session.h"
#include "stop_signals.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace tavrel::cli {

namespace {

struct ServeCommandOptions {
    std::string scenario;
    std::string listen = "127.0.0.1:5020";
    std::optional<double> duration;
    serve::ServeOptions session;
};

// "HOST:PORT" (PORT 0: any free one, printed once bound).
void splitListen(const std::string& text, serve::ServeOptions& options) {
    const auto colon = text.rfind(':');
    int port = -1;
    try {
        size_t used = 0;
        if (colon != std::string::npos) port = std::stoi(text.substr(colon + 1), &used);
        if (colon == std::string::npos || used != text.size() - colon - 1) port = -1;
    } catch (const std::exception&) {
        port = -1;
    }
    if (port < 0 || port > 65535) {
        throw serve::SessionError("--listen " + text + ": expected HOST:PORT, PORT 0 to 65535");
    }
    options.host = text.substr(0, colon);
    options.port = port;
}

void serveCommand(ServeCommandOptions& options) {
    sim::Scenario scenario = sim::Scenario::load(options.scenario);
    const std::string text = readBoundedFile(options.scenario, scenario_file_limits);
    if (options.duration) scenario.setSimulation("duration", *options.duration);
    splitListen(options.listen, options.session);
    std::signal(SIGXFSZ, SIG_IGN); // a full file fails its write, which is reported
    std::signal(SIGPIPE, SIG_IGN); // a client gone mid-answer ends its connection only
    const StopSignals stop(StopSignals::Second::ends_program);
    options.session.stop_requested = [] { return StopSignals::requested(); };
    options.session.say = [](const std::string& line) {
        std::cout << line << std::flush;
        if (!line.empty() && line.back() != '\n') std::cout << std::endl;
    };
    const auto outcome = serve::serveScenario(scenario, text, options.session);
    std::cout << outcome.summary;
    const std::string folder = options.session.output;
    std::cout << "Session files: " << folder << "/results.csv, events.csv, summary.txt, "
              << "register_map.csv, replay.toml (tavrel run " << folder << "/replay.toml)\n";
    if (outcome.stopped_by) {
        throw serve::SessionError(std::string("interrupted by ") +
                                  StopSignals::name(outcome.stopped_by) +
                                  "; the session's files hold every tick up to then");
    }
}

} // namespace

void addServeCommand(CLI::App& app) {
    auto options = std::make_shared<ServeCommandOptions>();
    auto* command = app.add_subcommand(
        "serve", "Serve a scenario as a real-time plant on Modbus TCP (its [serve] table names "
                 "what clients write and read); every session is left replayable");
    command->add_option("scenario", options->scenario, "scenario file (TOML)")->required();
    command->add_option("-o,--output", options->session.output, "folder for the session's files")
        ->capture_default_str();
    command
        ->add_option("--listen", options->listen,
                     "HOST:PORT to listen on (an IPv4 address; port 0: any free one)")
        ->capture_default_str();
    auto* speed = command->add_option("--speed", options->session.speed,
                                      "simulated seconds per wall-clock second (default 1)");
    command
        ->add_flag("--lockstep", options->session.lockstep,
                   "advance only when a client writes the advance register")
        ->excludes(speed);
    command->add_option("--duration", options->duration,
                        "simulated seconds to serve (default: the scenario's duration)");
    command->add_flag("--read-only", options->session.read_only,
                      "clients read only: no input is writable");
    command->callback([options] { runCommand("serve", [&] { serveCommand(*options); }); });
}

} // namespace tavrel::cli
