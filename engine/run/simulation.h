// The simulation engine: block instances of the plug-ins wired to sources and to each other,
// their continuous states integrated by an ODE solver, outputs sampled at a fixed interval.
#pragma once

#include "scenario.h"

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::sim {

// One logged signal: a block's output or input port, e.g. "rig.bottom_pressure" [Pa].
struct Column {
    std::string name; // "block.port"
    std::string unit;
    std::string block;
    std::string port;
    bool is_output = true;
    PortRole role = PortRole::plain; // as the block's description gives it
};

// Receives the logged rows as the run produces them (results stream; nothing is kept here).
class ResultSink {
  public:
    virtual ~ResultSink() = default;
    virtual void begin(const std::vector<Column>& columns) = 0;
    virtual void row(double time, const std::vector<double>& values) = 0;
    virtual void end() = 0; // also called when the run stops on an error: flush what is logged
    // Called now and then while one output interval takes long to integrate, so that a sink
    // that watches for a request to stop can end the run there (by throwing, as from row).
    virtual void poll() {}
};

// Counts of the last run, for benchmarks and progress.
struct RunStatistics {
    long rhs_evaluations = 0;
    long steps = 0;
    double total_seconds = 0; // wall time of the whole integration
    std::string console;      // what the blocks printed, each line prefixed by the block name
    // What the scenario may not mean, one line each (a block's value that differs from the
    // well's, a value that is most likely a mistake); the command that starts the run prints
    // them before it.
    std::vector<std::string> warnings;
};

// Markers for a sampling profiler (a signal handler on the integrating thread): each is set to
// 1 while the run does that part of its work and back to 0 after it. Null marks nothing.
struct WorkMarkers {
    volatile std::sig_atomic_t* block_method = nullptr; // inside a block's method
    // The host's part of a right-hand side or of a logged row (states and inputs handed to
    // the blocks, checks), the block methods it calls included; the rest of the integration
    // is the solver's.
    volatile std::sig_atomic_t* host = nullptr;
};

// Sets a work marker (if there is one) for its lifetime.
class Marking {
  public:
    explicit Marking(volatile std::sig_atomic_t* marker) : marker_(marker) {
        if (marker_) *marker_ = 1;
    }
    ~Marking() {
        if (marker_) *marker_ = 0;
    }
    Marking(const Marking&) = delete;
    Marking& operator=(const Marking&) = delete;

  private:
    volatile std::sig_atomic_t* marker_;
};

class Simulation {
  public:
    // Loads the plug-ins, creates and sizes the block instances, initialises them and makes
    // the first outputs call at the start time; the solver starts from the resulting states.
    explicit Simulation(const Scenario& scenario);
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    double time() const;
    const std::vector<Column>& columns() const;

    // Integrates to `t`, handing each logged row (every output interval, from the solver's
    // dense output) to `sink` if given, and its profile to `profile`. Throws SimulationError on
    // a solver failure, on more than the solver settings' max_steps_per_interval steps of an
    // adaptive solver for one interval, or on a state or output that is not finite (naming
    // block, state or port, and time). A sink's poll() may end a long interval early by
    // throwing.
    void advanceTo(double t, ResultSink* sink = nullptr, ResultSink* profile = nullptr);

    // Holds an input port at a value from now on (replaces its source), e.g. a controller
    // written by the caller.
    void setInput(const std::string& block, const std::string& port, double value);
    // The value the input's own source in the scenario gives at the present time, also after
    // setInput has replaced it.
    double sourceValue(const std::string& block, const std::string& port) const;

    // Present value of an output port ("sensor_pressure[2]" for a sensor) or input port.
    double output(const std::string& block, const std::string& port) const;
    double input(const std::string& block, const std::string& port) const;

    // Values of every logged column at the present time.
    std::vector<double> loggedValues() const;

    // The pressure along the whole annulus of every block that has sensors on a grid, sampled
    // by the block itself at each of its grid points: a twin of the block with a sensor at every
    // grid point is given the block's states and inputs and asked for its outputs. Switches the
    // profile on (a run that does not ask pays nothing) and names its columns,
    // "rig.profile[1500]" [Pa] (the position in m from the bottom).
    const std::vector<Column>& profileColumns();
    // The profile at the present time (after profileColumns()).
    std::vector<double> profileValues();

    // Text the blocks printed (e.g. the initial choke opening), prefixed by block name.
    const std::string& console() const;
    const RunStatistics& statistics() const;

    // Marks the work of the runs that follow (for benchmarks).
    void markWork(const WorkMarkers& markers);

    // The wired system as a function of its states and of chosen input ports (for linear
    // analysis), through the blocks' own methods and the run's wiring.
    //
    // The state vector: each block's continuous states in block order ("rig.w_up[0]", named
    // as in the block's description), then the input sources' controller states
    // ("rig.choke_setpoint.integral").
    std::vector<std::string> stateNames() const;
    std::vector<std::string> stateUnits() const; // "" where the block does not say
    const std::vector<double>& stateVector() const;
    // Input ports whose sources follow no block's port (constants, signals of time, held
    // values): the inputs of the wired system.
    std::vector<PortRef> externalInputs() const;
    // Replaces the sources of these input ports by values that evaluate() takes; returns the
    // ports' present values. Refuses (naming it) a port that is not an input port or whose
    // source follows other blocks' ports.
    std::vector<double> openInputs(const std::vector<PortRef>& ports);
    // Ports (output or input) whose values evaluate() reports; refuses an unknown one.
    void probe(const std::vector<PortRef>& ports);
    std::string unit(const PortRef& port) const;
    // The state derivatives (stateVector().size()) and the probed ports' values at time t,
    // states x and open inputs u. The blocks are left at that point; a later advanceTo
    // continues from the run's own state. Throws SimulationError if a block method fails.
    void evaluate(double t, const double* x, const double* u, double* xdot, double* probes);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct SimulationError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs a whole scenario into `sink` with an optional progress callback (fraction done).
// With `profile`, the pressure along the annulus at every logged row as well.
RunStatistics runScenario(const Scenario& scenario, ResultSink& sink,
                          const std::function<void(double)>& progress = {},
                          const WorkMarkers& markers = {}, ResultSink* profile = nullptr);

} // namespace tavrel::sim
