// A block record for driving a model's methods directly, without any plug-in machinery: the
// test gives parameters and inputs, calls the methods, and reads states, derivatives, outputs
// and the console.
#pragma once

#include "simstruc.h"

#include <memory>
#include <string>
#include <vector>

namespace tavrel::test {

using ParamList = std::vector<std::vector<double>>;

class TestRecord {
public:
    // Parameters as row vectors; sizes the block with `initialize_sizes`.
    TestRecord(const ParamList& params, mdlRecordMethod initialize_sizes);
    ~TestRecord();
    TestRecord(const TestRecord&) = delete;
    TestRecord& operator=(const TestRecord&) = delete;

    SimStruct* S() { return &record_; }
    double& state(int i) { return states_.at(static_cast<size_t>(i)); }
    std::vector<double>& states() { return states_; }
    const std::vector<double>& derivatives() const { return derivatives_; }
    double derivative(int i) const { return derivatives_.at(static_cast<size_t>(i)); }
    std::vector<int>& iwork() { return iwork_; }
    void setInput(int port, double value) { inputs_.at(static_cast<size_t>(port)) = value; }
    double output(int port) const { return outputs_.at(static_cast<size_t>(port)); }
    const std::vector<double>& outputs() const { return outputs_; }
    int numOutputs() const { return static_cast<int>(outputs_.size()); }

    // Replaces the data of dialog parameter k (same handle, so the block sees it at once).
    void setParam(int k, const std::vector<double>& values);

    // Calls a method with the console captured; returns what it printed.
    std::string call(mdlRecordMethod method);
    std::string outputs(mdlOutputsMethod method);

    // Output values are pre-filled with this marker so that unwritten ports show.
    static constexpr double unwritten = -1.2345e300;

private:
    static int_T registerInputs(void* self, int_T count);
    static int_T registerOutputs(void* self, int_T count);

    SimStruct record_{};
    ssRTInfo rt_info_{};
    std::vector<mxArray*> params_;
    std::vector<ssInputPort> input_ports_;
    std::vector<ssOutputPort> output_ports_;
    std::vector<double> inputs_;
    std::vector<const double*> input_ptrs_;
    std::vector<double> outputs_;
    std::vector<double> states_, derivatives_;
    std::vector<int> iwork_;
    double sample_time_ = -1, offset_time_ = -1;
};

} // namespace tavrel::test
