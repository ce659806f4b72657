// Input sources: signals of time (constant, step, ramp, sine, table), sums of them,
// connections to other blocks' ports, values held from the start, and PI controllers. A
// controller's integral is a state of the host, integrated with the blocks' states.
#pragma once

#include "scenario.h"

#include <functional>
#include <memory>
#include <vector>

namespace tavrel::sim {

// A block port: block index, output or input, port index.
struct Signal {
    int block = 0;
    bool is_output = true;
    int port = 0;
};

// Present values of ports, as the engine holds them.
class SignalBoard {
  public:
    virtual ~SignalBoard() = default;
    virtual double value(const Signal& signal) const = 0;
};

class InputSource {
  public:
    virtual ~InputSource() = default;
    // `controller` points at the host's controller states.
    virtual double value(double t, const double* controller, const SignalBoard& board) const = 0;
    // Writes the rates of this source's controller states (if any).
    virtual void rates(double, const double*, const SignalBoard&, double*) const {}
    // Takes the values that sources hold from the start (after the first outputs call).
    virtual void captureStart(const SignalBoard&) {}
    // Blocks whose outputs this source reads at the present time.
    virtual std::vector<int> dependencies() const { return {}; }
    virtual bool isConstant(double) const { return false; }
    // Whether the value follows other blocks' ports as they change (a connection, a
    // controller): such an input is part of the wired system, not an input of it.
    virtual bool readsBlocks() const { return false; }
    // The controller state slots this source owns.
    virtual std::vector<int> controllerSlots() const { return {}; }
    // A value that jumps at given times (a held table) changes only when the run reaches such
    // a time and switches it there, restarting the solver: a step that crosses the time never
    // sees the new value, so the run is the same as one whose input was set at that time from
    // outside. The earliest such time after the last switch (infinity: none), and the switch
    // to the value at `t`; true when the value changed.
    virtual double nextSwitch() const;
    virtual bool switchAt(double) { return false; }
};

using PortResolver = std::function<Signal(const PortRef&)>;

// Builds the source; controllers take their state slots from `controller_count` onwards.
std::unique_ptr<InputSource> compileSource(const Source& source, const PortResolver& resolve,
                                           int& controller_count);

std::unique_ptr<InputSource> constantSource(double value);

// A value the owner sets from outside at any time (`value` must outlive the source).
std::unique_ptr<InputSource> channelSource(const double* value);

} // namespace tavrel::sim
