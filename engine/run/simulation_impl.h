// The simulation's inside, shared by its files: block setup and wiring
// (simulation_setup.cpp), stepping and the run (simulation.cpp), the pressure profile
// (simulation_profile.cpp) and the wired system for linear analysis (simulation_linear.cpp).
#pragma once

#include "simulation.h"

#include "block_catalog.h"
#include "block_instance.h"
#include "ode_solver.h"
#include "sources.h"
#include "wiring.h"

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel::sim {

// A time in messages.
inline std::string formatTime(double t) {
    std::ostringstream s;
    s.precision(9);
    s << t;
    return s.str();
}

struct Simulation::Impl : OdeSystem, SignalBoard {
    struct Block {
        const BlockConfig* config = nullptr;
        const BlockDescription* kind = nullptr;
        std::unique_ptr<host::BlockInstance> instance;
        std::vector<PortInfo> outputs;
        std::vector<std::unique_ptr<InputSource>> inputs; // one per input port
        std::vector<bool> feed_through;                   // per input port, as the block declared
        int state_offset = 0;
        int num_states = 0;
        bool started = false; // through its first outputs call: it is ended with the run
    };

    // A block's profile twin: the same plug-in and parameters but a sensor at every grid point.
    struct Twin {
        size_t block = 0;
        std::unique_ptr<host::BlockInstance> instance;
        size_t first_sensor = 0;
        size_t count = 0;
        bool started = false; // started at its block's state by the first profile row
    };

    Scenario scenario;
    std::map<std::string, std::shared_ptr<host::Plugin>> plugins;
    std::vector<Block> blocks;
    std::vector<Twin> twins;
    std::vector<Column> profile_columns;
    bool profile_on = false;
    std::vector<int> order; // blocks in an order that respects direct feed-through
    int num_controller_states = 0;
    std::vector<double> y;
    double t = 0;
    long next_row = 1; // index of the next logged row after the start
    std::unique_ptr<OdeSolver> solver;
    bool solver_stale = false;
    std::vector<Column> columns;
    std::vector<Signal> column_signals;
    std::string console;
    RunStatistics stats;
    std::string rhs_failure; // why the last right-hand side failed
    WorkMarkers markers;
    std::vector<double> open_values; // the open inputs' values (evaluate)
    std::vector<Signal> probes;      // the ports evaluate reports
    // The scenario's sources of the inputs that setInput has set, by (block, port).
    std::map<std::pair<int, int>, std::unique_ptr<InputSource>> own_sources;

    explicit Impl(const Scenario& s);
    ~Impl();

    // SignalBoard: the present value of a port.
    double value(const Signal& signal) const override {
        const auto& instance = *blocks[static_cast<size_t>(signal.block)].instance;
        return signal.is_output ? instance.outputs()[signal.port] : instance.inputs()[signal.port];
    }

    Signal resolve(const PortRef& ref) const;
    void createBlocks();
    void createTwins();
    void bindInputs();
    void orderBlocks();
    void selectColumns();
    void initialize();

    void loadStates(const double* state);
    void setInputs(Block& b, double time, const double* state, bool feed_through);
    void evaluateOutputs(double time, const double* state);
    double nextSwitch() const; // of the inputs that jump at given times
    void switchInputs();
    int rhs(double time, const double* state, double* ydot) noexcept override;
    void checkFinite(double time) const;
    std::string tooMuchWork(double target) const;
    std::vector<std::string> stateNames() const;

    // Makes a block method call, marked as the block's work.
    template <class Call> void inBlock(const Call& call) {
        const Marking mark(markers.block_method);
        call();
    }
    void collectConsole();
};

} // namespace tavrel::sim
