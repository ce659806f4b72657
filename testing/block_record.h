// A block record as a host keeps one, for driving a block without the host: dialog parameters,
// the ports the block registers, and states, derivatives and integer work sized from what the
// block declared. Port counts above `max_ports` are refused (as the host refuses absurd counts),
// so that a parameter asking for billions of ports tests the block's handling of a refusal
// instead of exhausting memory.
#pragma once

#include "simstruc.h"

#include <vector>

namespace tavrel::test {

using ParamList = std::vector<std::vector<double>>;

class BlockRecord {
public:
    static constexpr int max_ports = 1 << 12;

    // Parameters as row vectors; output ports start at `output_fill` until the block writes
    // them. `model_name` must outlive the record.
    BlockRecord(const ParamList& params, const char* model_name, double output_fill);
    ~BlockRecord();
    BlockRecord(const BlockRecord&) = delete;
    BlockRecord& operator=(const BlockRecord&) = delete;

    SimStruct* S() { return &record_; }
    // Allocates states, derivatives and work from the sizes the block declared.
    void allocateWork();
    // A port count was refused: a host would not use the block.
    bool refused() const { return refused_; }
    // Replaces the data of dialog parameter k (same handle, so the block sees it at once).
    void setParam(int k, const std::vector<double>& values);

    std::vector<double>& states() { return states_; }
    const std::vector<double>& derivatives() const { return derivatives_; }
    std::vector<int>& iwork() { return iwork_; }
    std::vector<double>& inputs() { return inputs_; }
    const std::vector<double>& outputs() const { return outputs_; }

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
    double output_fill_;
    double sample_time_ = -1, offset_time_ = -1;
    bool refused_ = false;
};

} // namespace tavrel::test
