// A block record for driving a model's methods directly, without any plug-in machinery: the
// test gives parameters and inputs, calls the methods, and reads states, derivatives, outputs
// and the console.
#pragma once

#include "block_record.h"

#include <string>
#include <vector>

namespace tavrel::test {

class TestRecord : public BlockRecord {
  public:
    // Parameters as row vectors; sizes the block with `initialize_sizes`.
    TestRecord(const ParamList& params, mdlRecordMethod initialize_sizes);

    double& state(int i) { return states().at(static_cast<size_t>(i)); }
    double derivative(int i) const { return derivatives().at(static_cast<size_t>(i)); }
    void setInput(int port, double value) { inputs().at(static_cast<size_t>(port)) = value; }
    double output(int port) const { return outputs().at(static_cast<size_t>(port)); }
    int numOutputs() const { return static_cast<int>(outputs().size()); }

    // Calls a method with the console captured; returns what it printed.
    std::string call(mdlRecordMethod method);
    using BlockRecord::outputs;
    std::string outputs(mdlOutputsMethod method);

    // Output values are pre-filled with this marker so that unwritten ports show.
    static constexpr double unwritten = -1.2345e300;
};

} // namespace tavrel::test
