// Scenario files: the blocks of a study with their plug-ins and dialog parameters by name,
// the sources of their inputs, solver settings, duration, output interval and what to log.
// A scenario is validated completely when it is loaded, before anything runs or is written.
// Loading parses the whole file first, opening no plug-in; a resolve step then describes a
// plug-in that has no description by its sizing handshake (each plug-in file opened once per
// process, shared with the simulation and the study runner).
#pragma once

#include "block_description.h"
#include "plugin_description.h"
#include "source_kinds.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::sim {

using tavrel::BlockDescription;

// A load or validation error; the message names the file, the line, the key and the rule.
struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A sensor position as written: metres from the bottom (a number, "bottom"), or from the top of
// the annulus ("top", { depth = D }), so that a change of the block's annulus length moves it.
struct SensorPlace {
    bool from_top = false;
    double distance = 0; // m from the bottom, or below the top
};

struct BlockConfig {
    std::string name;   // instance name, e.g. "rig"
    std::string plugin; // block name ("tavrel") or a plug-in file path
    std::string kind;   // block the plug-in carries: "tavrel", "tavrel_observer", ...
    std::vector<std::vector<double>> params; // in the block's order, complete
    std::map<std::string, Source> inputs;    // by input port name; missing inputs are 0
    std::map<std::string, int> input_lines;  // the scenario line of each input, for messages
    // Where each parameter's value was given, in the parameters' order: "FILE:LINE",
    // "--set rig.annulus_length=5000", or "the default of tavrel"; messages about a
    // disagreement name both places.
    std::vector<std::string> origins;
    // The sensor positions as written (a block with sensors); params holds them in metres from
    // the bottom of this block's annulus.
    std::vector<SensorPlace> sensor_places;
    // For a plug-in without a shipped description: from the description file beside it, or
    // what its sizing handshake declared.
    host::SharedDescription described;

    const BlockDescription& description() const;
};

// What `tavrel serve` offers a control system: inputs it writes (each within its limits) and
// ports it reads, as values of one number format.
struct ServedInput {
    PortRef port;
    double min = -1e300, max = 1e300;
};
enum class ValueFormat { float32, float64 };
struct ServeSettings {
    std::vector<ServedInput> write;
    std::vector<PortRef> read; // empty: the logged columns
    ValueFormat format = ValueFormat::float32;
    double timeout = 5; // s without a write before a written input falls back to its source
};

enum class SolverKind { dormand_prince, bdf, fixed_step };

// The solvers by the names scenario files and Python give them.
struct SolverName {
    const char* name;
    SolverKind kind;
};
inline constexpr SolverName solver_names[] = {{"dormand_prince", SolverKind::dormand_prince},
                                              {"bdf", SolverKind::bdf},
                                              {"fixed_step", SolverKind::fixed_step}};
inline const char* solverName(SolverKind kind) {
    for (const auto& s : solver_names) {
        if (s.kind == kind) return s.name;
    }
    return solver_names[0].name;
}
inline std::optional<SolverKind> solverKind(std::string_view name) {
    for (const auto& s : solver_names) {
        if (name == s.name) return s.kind;
    }
    return std::nullopt;
}

struct SolverSettings {
    SolverKind kind = SolverKind::dormand_prince;
    double rtol = 1e-6;
    double atol = 1e-6;
    double max_step = 0; // 0: no limit
    double fixed_step = 1e-3;
    // An adaptive solver that needs more steps than this for one output interval is taken to
    // be stuck on a stiff block: the run stops with an error that names the block.
    long max_steps_per_interval = 50000;
};

// The engineer's pressure window on one logged column ([summary] window): the pore or collapse
// margin below, the fracture or loss margin above [the column's unit, Pa for pressures].
struct PressureWindow {
    std::string column;
    double min = 0, max = 0;
};

// A value of the scenario's [well] table and where it was given.
struct WellValue {
    std::vector<double> values;
    std::string origin;
};

struct Scenario {
    std::string source_name; // file path or "<default>"
    std::string base_dir;    // for relative table files
    std::vector<BlockConfig> blocks;
    std::map<std::string, WellValue> well; // [well] by parameter name (not the sensor positions)
    SolverSettings solver;
    double start_time = 0;
    double duration = 120;
    double output_interval = 0.05;
    std::vector<std::string> log; // patterns "rig.*", "observer.top_flow"; empty: everything
    int log_line = 0; // of [log] columns in the file, for a pattern refused when the run sets up
    // Summary: the displacer's period and how many last periods to evaluate.
    double summary_period = 0; // 0: no periodic summary
    int summary_periods = 3;
    ServeSettings serve; // [serve]; a plain run reads it for nothing
    // Where the summary starts in a run without a period (an irregular sea): past the ramp-in.
    std::optional<double> summary_from;
    std::optional<PressureWindow> summary_window;
    // The window the summary and the study metrics evaluate: from `summary_from`, else the last
    // periods, or the whole run.
    double summaryWindowLength() const {
        if (summary_from) return std::clamp(start_time + duration - *summary_from, 0.0, duration);
        return summary_period > 0 ? std::min(duration, summary_period * summary_periods) : duration;
    }
    double summaryWindowStart() const { return start_time + duration - summaryWindowLength(); }

    static Scenario load(const std::string& path);
    static Scenario parse(const std::string& toml_text, const std::string& source_name,
                          const std::string& base_dir);
    static Scenario builtInDefault();

    // Overrides one dialog parameter by name and validates the block again; block "well" sets
    // it in every block that declares it, as the [well] table does. `origin` names the
    // override in messages (default "set BLOCK.PARAM").
    void set(const std::string& block, const std::string& param, const std::vector<double>& values,
             const std::string& origin = "");
    void setWell(const std::string& param, const std::vector<double>& values,
                 const std::string& origin = "");
    // Sets one [simulation] value ("duration", "solver", ...) by the scenario file's own rules;
    // a refused value throws ScenarioError naming the key, and the settings stay as they were.
    void setSimulation(const std::string& name, double value);
    void setSimulation(const std::string& name, const std::string& value);
    const BlockConfig& block(const std::string& name) const;

    // One well: refuses (ScenarioError, both places named) what contradicts the well in every
    // reading, a port that expects the top pressure fed from a sensor below the top. Loading
    // and every run check it.
    void checkOneWell() const;
    // A block's value that differs from the [well] table's, which a model may mean (an observer
    // of a lighter mud, a reference rig on a longer well): one line each, both places named,
    // for standard error and the run's record.
    std::vector<std::string> wellWarnings() const;
};

// The embedded default scenario's text (also shipped as scenarios/default.toml).
const std::string& defaultScenarioText();

} // namespace tavrel::sim
