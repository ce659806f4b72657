// The record a C++ program owns (see record_builder.h).
#include "record_builder.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

namespace tavrel::record {

namespace {

mxArray* ownedRowVector(const std::vector<double>& values) {
    mxArray* array = rowVector(values);
    if (!array) throw std::bad_alloc();
    return array;
}

} // namespace

HostRecord::HostRecord(const std::vector<std::vector<double>>& params, std::string model_name,
                       std::string path, const Options& options)
    : model_name_(std::move(model_name)), path_(std::move(path)), options_(options),
      sample_time_(options.unset_sample_time), offset_time_(options.unset_sample_time) {
    try {
        params_.reserve(params.size());
        for (const auto& values : params)
            params_.push_back(ownedRowVector(values));
    } catch (...) {
        for (mxArray* array : params_)
            mxDestroyArray(array);
        throw;
    }
    RecordSetup setup;
    setup.model_name = model_name_.c_str();
    setup.path = path_.c_str();
    setup.rt_info = &rt_info_;
    setup.param_count = static_cast<int_T>(params_.size());
    setup.param_handles = params_.data();
    setup.register_inputs = &registerInputs;
    setup.register_outputs = &registerOutputs;
    setup.registration_argument = this;
    setup.sample_times = &sample_time_;
    setup.offset_times = &offset_time_;
    setUpRecord(&record_, setup);
}

HostRecord::~HostRecord() {
    for (mxArray* array : params_)
        mxDestroyArray(array);
}

void HostRecord::allocateWork() {
    const auto count = [](int_T declared) {
        return static_cast<std::size_t>(std::max(0, declared));
    };
    states_.assign(count(ssGetNumContStates(&record_)), 0.0);
    derivatives_.assign(states_.size(), 0.0);
    iwork_.assign(count(ssGetNumIWork(&record_)), 0);
    record_.work.cont_states = states_.data();
    record_.work.derivatives = derivatives_.data();
    record_.work.iwork = iwork_.data();
}

void HostRecord::setParam(std::size_t k, const std::vector<double>& values) {
    mxArray* array = ownedRowVector(values);
    if (k >= params_.size()) {
        mxDestroyArray(array);
        throw std::out_of_range("no dialog parameter " + std::to_string(k));
    }
    mxDestroyArray(params_[k]);
    params_[k] = array;
}

// The registrations run inside the block's sizes call, so nothing is thrown from them; a
// refused count is remembered for the owner to report after the call.
int_T HostRecord::registerInputs(void* self, int_T count) {
    auto* r = static_cast<HostRecord*>(self);
    if (!r->allowed(count, "input")) return 0;
    try {
        r->allocateInputs(static_cast<std::size_t>(count));
    } catch (...) {
        r->out_of_memory_ = true;
        return 0;
    }
    recordPortCount(&r->record_, SS_SIZES_NUM_INPUT_PORTS, count);
    r->record_.port_info.inputs = r->input_ports_.data();
    return 1;
}

int_T HostRecord::registerOutputs(void* self, int_T count) {
    auto* r = static_cast<HostRecord*>(self);
    if (!r->allowed(count, "output")) return 0;
    try {
        r->allocateOutputs(static_cast<std::size_t>(count));
    } catch (...) {
        r->out_of_memory_ = true;
        return 0;
    }
    recordPortCount(&r->record_, SS_SIZES_NUM_OUTPUT_PORTS, count);
    r->record_.port_info.outputs = r->output_ports_.data();
    return 1;
}

bool HostRecord::allowed(int_T count, const char* kind) {
    if (count >= 0 && count <= options_.port_limit) return true;
    refusal_ = "the block asked for " + std::to_string(count) + " " + kind +
               " ports; the host allows 0 to " + std::to_string(options_.port_limit);
    return false;
}

void HostRecord::allocateInputs(std::size_t count) {
    input_ports_.assign(count, ssInputPort{});
    inputs_.assign(count, 0.0);
    input_ptrs_.assign(count, nullptr);
    for (std::size_t p = 0; p < count; ++p) {
        input_ptrs_[p] = &inputs_[p];
        input_ports_[p].signal_ptrs = &input_ptrs_[p];
    }
}

void HostRecord::allocateOutputs(std::size_t count) {
    output_ports_.assign(count, ssOutputPort{});
    outputs_.assign(count, options_.output_fill);
    for (std::size_t p = 0; p < count; ++p)
        output_ports_[p].signal = &outputs_[p];
}

} // namespace tavrel::record
