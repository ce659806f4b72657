#include "test_record.h"

#include "mex_host.h"

#include <algorithm>
#include <stdexcept>

namespace tavrel::test {

namespace {
void appendText(void* context, const char* text, size_t length) {
    static_cast<std::string*>(context)->append(text, length);
}
} // namespace

TestRecord::TestRecord(const ParamList& params, mdlRecordMethod initialize_sizes) {
    for (const auto& values : params) {
        mxArray* array = mxCreateDoubleMatrix(values.empty() ? 0 : 1, values.size(), mxREAL);
        std::copy(values.begin(), values.end(), mxGetPr(array));
        params_.push_back(array);
    }
    record_.model_name = "test";
    record_.path = "test";
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

    initialize_sizes(&record_);

    states_.assign(static_cast<size_t>(std::max(0, ssGetNumContStates(&record_))), 0.0);
    derivatives_.assign(states_.size(), 0.0);
    iwork_.assign(static_cast<size_t>(std::max(0, ssGetNumIWork(&record_))), 0);
    record_.work.cont_states = states_.data();
    record_.work.derivatives = derivatives_.data();
    record_.work.iwork = iwork_.data();
}

TestRecord::~TestRecord() {
    for (mxArray* array : params_) mxDestroyArray(array);
}

void TestRecord::setParam(int k, const std::vector<double>& values) {
    mxArray* array = mxCreateDoubleMatrix(values.empty() ? 0 : 1, values.size(), mxREAL);
    std::copy(values.begin(), values.end(), mxGetPr(array));
    mxDestroyArray(params_.at(static_cast<size_t>(k)));
    params_[static_cast<size_t>(k)] = array;
}

int_T TestRecord::registerInputs(void* self, int_T count) {
    auto* r = static_cast<TestRecord*>(self);
    if (count < 0) return 0;
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

int_T TestRecord::registerOutputs(void* self, int_T count) {
    auto* r = static_cast<TestRecord*>(self);
    if (count < 0) return 0;
    const auto n = static_cast<size_t>(count);
    r->record_.flags |= SS_FLAG_PORTS_REGISTERED;
    r->record_.sizes[SS_SIZES_NUM_OUTPUT_PORTS] = count;
    r->output_ports_.assign(n, ssOutputPort{});
    r->outputs_.assign(n, unwritten);
    for (size_t p = 0; p < n; ++p) r->output_ports_[p].signal = &r->outputs_[p];
    r->record_.port_info.outputs = r->output_ports_.data();
    return 1;
}

std::string TestRecord::call(mdlRecordMethod method) {
    std::string console;
    mexPrintSink previous = nullptr;
    void* previous_context = nullptr;
    mexSetPrintSink(&appendText, &console, &previous, &previous_context);
    method(&record_);
    mexSetPrintSink(previous, previous_context, nullptr, nullptr);
    return console;
}

std::string TestRecord::outputs(mdlOutputsMethod method) {
    std::string console;
    mexPrintSink previous = nullptr;
    void* previous_context = nullptr;
    mexSetPrintSink(&appendText, &console, &previous, &previous_context);
    method(&record_, 0);
    mexSetPrintSink(previous, previous_context, nullptr, nullptr);
    return console;
}

} // namespace tavrel::test
