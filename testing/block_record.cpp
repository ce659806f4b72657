#include "block_record.h"

#include <algorithm>

namespace tavrel::test {

namespace {

mxArray* rowVector(const std::vector<double>& values) {
    mxArray* array = mxCreateDoubleMatrix(values.empty() ? 0 : 1, values.size(), mxREAL);
    std::copy(values.begin(), values.end(), mxGetPr(array));
    return array;
}

} // namespace

BlockRecord::BlockRecord(const ParamList& params, const char* model_name, double output_fill)
    : output_fill_(output_fill) {
    for (const auto& values : params) params_.push_back(rowVector(values));
    record_.model_name = model_name;
    record_.path = model_name;
    record_.root = &record_;
    record_.rt_info = &rt_info_;
    record_.sfcn_params.count = static_cast<int_T>(params_.size());
    record_.sfcn_params.handles = params_.data();
    record_.port_info.register_num_input_ports = &registerInputs;
    record_.port_info.register_num_input_ports_argument = this;
    record_.port_info.register_num_output_ports = &registerOutputs;
    record_.port_info.register_num_output_ports_argument = this;
    record_.sample_time_info.sample_times = &sample_time_;
    record_.sample_time_info.offset_times = &offset_time_;
}

BlockRecord::~BlockRecord() {
    for (mxArray* array : params_) mxDestroyArray(array);
}

void BlockRecord::allocateWork() {
    states_.assign(static_cast<size_t>(std::max(0, ssGetNumContStates(&record_))), 0.0);
    derivatives_.assign(states_.size(), 0.0);
    iwork_.assign(static_cast<size_t>(std::max(0, ssGetNumIWork(&record_))), 0);
    record_.work.cont_states = states_.data();
    record_.work.derivatives = derivatives_.data();
    record_.work.iwork = iwork_.data();
}

void BlockRecord::setParam(int k, const std::vector<double>& values) {
    mxArray* array = rowVector(values);
    mxDestroyArray(params_.at(static_cast<size_t>(k)));
    params_[static_cast<size_t>(k)] = array;
}

int_T BlockRecord::registerInputs(void* self, int_T count) {
    auto* r = static_cast<BlockRecord*>(self);
    if (count < 0 || count > max_ports) return r->refused_ = true, 0;
    const auto n = static_cast<size_t>(count);
    r->record_.flags |= SS_FLAG_PORTS_REGISTERED;
    r->record_.sizes[SS_SIZES_NUM_INPUT_PORTS] = count;
    r->input_ports_.assign(n, ssInputPort{});
    r->inputs_.assign(n, 0.0);
    r->input_ptrs_.resize(n);
    for (size_t p = 0; p < n; ++p) {
        r->input_ptrs_[p] = &r->inputs_[p];
        r->input_ports_[p].signal_ptrs = &r->input_ptrs_[p];
    }
    r->record_.port_info.inputs = r->input_ports_.data();
    return 1;
}

int_T BlockRecord::registerOutputs(void* self, int_T count) {
    auto* r = static_cast<BlockRecord*>(self);
    if (count < 0 || count > max_ports) return r->refused_ = true, 0;
    const auto n = static_cast<size_t>(count);
    r->record_.flags |= SS_FLAG_PORTS_REGISTERED;
    r->record_.sizes[SS_SIZES_NUM_OUTPUT_PORTS] = count;
    r->output_ports_.assign(n, ssOutputPort{});
    r->outputs_.assign(n, r->output_fill_);
    for (size_t p = 0; p < n; ++p) r->output_ports_[p].signal = &r->outputs_[p];
    r->record_.port_info.outputs = r->output_ports_.data();
    return 1;
}

} // namespace tavrel::test
