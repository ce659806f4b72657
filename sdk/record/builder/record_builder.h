// Building a block record, for every program that drives blocks: the host, the plug-ins'
// command-line sizes call, and the tests' records. One set of fields a fresh record needs,
// one port limit, and the record a C++ host owns with its ports, states and work.
#pragma once

#include "simstruc.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace tavrel::record {

// Ports a block may ask for: a parameter asking for billions of ports is refused instead of
// costing tens of gigabytes.
inline constexpr int_T max_ports = 1 << 20;

// What a fresh record is given before its sizes call.
struct RecordSetup {
    const char* model_name = nullptr; // the block's name, checked by the handshake
    const char* path = nullptr;       // the instance's name in messages
    ssRTInfo* rt_info = nullptr;
    int_T param_count = 0;
    mxArray** param_handles = nullptr;
    ssPortCountRegistration register_inputs = nullptr;
    ssPortCountRegistration register_outputs = nullptr;
    void* registration_argument = nullptr;
    real_T* sample_times = nullptr;
    real_T* offset_times = nullptr;
};

// Fills the fields of a zeroed record (its own root).
void setUpRecord(SimStruct* S, const RecordSetup& setup);

// Notes in the record a port count its registration accepted.
void recordPortCount(SimStruct* S, ssSizesField field, int_T count);

// A real row vector of `values` as a dialog parameter is passed (no values: a 0-by-0 array);
// null when out of memory.
mxArray* rowVector(const std::vector<double>& values);

// A record owned by a C++ program, with everything the block reaches through it: the dialog
// parameters, the ports it registers (width-1 signals, inputs through pointers), and states,
// derivatives and integer work sized from what it declared. The object must not move while
// the block may call back into it, so it is neither copied nor moved.
class HostRecord {
  public:
    struct Options {
        int_T port_limit = max_ports;
        double output_fill = 0;       // outputs until the block writes them
        double unset_sample_time = 0; // sample and offset time until the block sets them
    };

    // `model_name` and `path` are copied; the record points at the copies.
    HostRecord(const std::vector<std::vector<double>>& params, std::string model_name,
               std::string path, const Options& options);
    ~HostRecord();
    HostRecord(const HostRecord&) = delete;
    HostRecord& operator=(const HostRecord&) = delete;

    SimStruct* S() { return &record_; }
    const SimStruct* S() const { return &record_; }

    // Why a port registration was refused ("" when none was), and whether one ran out of
    // memory: either way the block is not to be used.
    const std::string& refusal() const { return refusal_; }
    bool outOfMemory() const { return out_of_memory_; }

    // Allocates states, derivatives and integer work from the counts the block declared
    // (a negative count as none).
    void allocateWork();
    // Replaces dialog parameter k's values (the block reads them at its next call); throws
    // std::out_of_range for a parameter the record does not have, std::bad_alloc when out
    // of memory.
    void setParam(std::size_t k, const std::vector<double>& values);
    std::size_t numParams() const { return params_.size(); }

    std::span<const ssInputPort> inputPorts() const { return input_ports_; }
    std::span<const ssOutputPort> outputPorts() const { return output_ports_; }
    std::vector<double>& states() { return states_; }
    const std::vector<double>& states() const { return states_; }
    std::vector<double>& derivatives() { return derivatives_; }
    const std::vector<double>& derivatives() const { return derivatives_; }
    std::vector<int>& iwork() { return iwork_; }
    std::vector<double>& inputs() { return inputs_; }
    const std::vector<double>& inputs() const { return inputs_; }
    const std::vector<double>& outputs() const { return outputs_; }
    double sampleTime() const { return sample_time_; }
    double offsetTime() const { return offset_time_; }

  private:
    static int_T registerInputs(void* self, int_T count);
    static int_T registerOutputs(void* self, int_T count);
    bool allowed(int_T count, const char* kind);
    void allocateInputs(std::size_t count);
    void allocateOutputs(std::size_t count);

    std::string model_name_, path_;
    Options options_;
    SimStruct record_{};
    ssRTInfo rt_info_{};
    std::vector<mxArray*> params_; // owned
    std::vector<ssInputPort> input_ports_;
    std::vector<ssOutputPort> output_ports_;
    std::vector<double> inputs_;
    std::vector<const double*> input_ptrs_;
    std::vector<double> outputs_;
    std::vector<double> states_, derivatives_;
    std::vector<int> iwork_;
    double sample_time_, offset_time_;
    std::string refusal_;
    bool out_of_memory_ = false;
};

} // namespace tavrel::record
