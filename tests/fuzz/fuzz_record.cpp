#include "fuzz_record.h"

#include "block_instance.h"
#include "mex_host.h"
#include "scenario.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace tavrel::fuzz {

const std::vector<std::vector<double>>& shippedParams(const std::string& block) {
    static const auto all = [] {
        std::map<std::string, std::vector<std::vector<double>>> found;
        std::vector<sim::Scenario> shipped = {sim::Scenario::builtInDefault()};
        for (const char* file : {"piston.toml", "linear.toml"})
            shipped.push_back(sim::Scenario::load(std::string(TAVREL_SCENARIO_DIR "/") + file));
        for (const auto& scenario : shipped)
            for (const auto& b : scenario.blocks) found.emplace(b.kind, b.params);
        return found;
    }();
    const auto it = all.find(block);
    if (it == all.end()) throw std::logic_error("no shipped scenario has a " + block + " block");
    return it->second;
}

void keepPluginsLoaded() {
    static const auto plugins = [] {
        std::vector<std::shared_ptr<host::Plugin>> opened;
        for (const char* name : {"tavrel", "tavrel_piston", "tavrel_linear", "tavrel_observer"})
            opened.push_back(host::Plugin::open(host::findPlugin(name)));
        return opened;
    }();
    (void)plugins;
}

void silenceConsole() {
    mexSetPrintSink([](void*, const char*, size_t) {}, nullptr, nullptr, nullptr);
}

FuzzRecord::FuzzRecord(const std::vector<std::vector<double>>& params, const char* model_name) {
    for (const auto& values : params) {
        mxArray* array = mxCreateDoubleMatrix(values.empty() ? 0 : 1, values.size(), mxREAL);
        std::copy(values.begin(), values.end(), mxGetPr(array));
        params_.push_back(array);
    }
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

FuzzRecord::~FuzzRecord() {
    for (mxArray* array : params_) mxDestroyArray(array);
}

void FuzzRecord::allocateWork() {
    states_.assign(static_cast<size_t>(std::max(0, ssGetNumContStates(&record_))), 0.0);
    derivatives_.assign(states_.size(), 0.0);
    iwork_.assign(static_cast<size_t>(std::max(0, ssGetNumIWork(&record_))), 0);
    record_.work.cont_states = states_.data();
    record_.work.derivatives = derivatives_.data();
    record_.work.iwork = iwork_.data();
}

int_T FuzzRecord::registerInputs(void* self, int_T count) {
    auto* r = static_cast<FuzzRecord*>(self);
    if (count < 0 || count > max_ports) return r->refused_ = true, 0;
    const auto n = static_cast<size_t>(count);
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

int_T FuzzRecord::registerOutputs(void* self, int_T count) {
    auto* r = static_cast<FuzzRecord*>(self);
    if (count < 0 || count > max_ports) return r->refused_ = true, 0;
    const auto n = static_cast<size_t>(count);
    r->record_.sizes[SS_SIZES_NUM_OUTPUT_PORTS] = count;
    r->output_ports_.assign(n, ssOutputPort{});
    r->outputs_.assign(n, 0.0);
    for (size_t p = 0; p < n; ++p) r->output_ports_[p].signal = &r->outputs_[p];
    r->record_.port_info.outputs = r->output_ports_.data();
    return 1;
}

} // namespace tavrel::fuzz
