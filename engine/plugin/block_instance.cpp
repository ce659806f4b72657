// A block instance driven through its plug-in's mexFunction: the record the host owns, the
// sizing handshake that binds the block's methods into it, and the method calls by flag.
#include "block_instance.h"
#include "mex_protocol.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace tavrel::host {

namespace {

constexpr int flag_initialize_sample_times = 101;
constexpr int flag_initialize_conditions = 102;
constexpr int flag_outputs = 104;
constexpr int flag_derivatives = 106;
constexpr int flag_terminate = 107;

// The record's address in the handshake: low and high 32-bit halves, each as a signed 32-bit
// value, then the record version.
std::vector<double> handshakeHandle(const SimStruct* S) {
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(S));
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(address));
    const auto high = static_cast<std::int32_t>(static_cast<std::uint32_t>(address >> 32));
    return {static_cast<double>(low), static_cast<double>(high),
            static_cast<double>(SIMSTRUCT_VERSION_LEVEL2)};
}

std::size_t portCount(int_T count) {
    return static_cast<std::size_t>(count);
}

} // namespace

BlockInstance::BlockInstance(std::shared_ptr<Plugin> plugin, const ParamValues& params,
                             std::string instance_name)
    : plugin_(std::move(plugin)), name_(std::move(instance_name)) {
    if (!plugin_) throw HostError("block instance \"" + name_ + "\" has no plug-in");
    model_name_ = plugin_->blockName();
    if (name_.empty()) name_ = model_name_;
    for (const auto& values : params) {
        params_.push_back(rowVectorArray(values));
        param_handles_.push_back(params_.back().get());
    }
    no_value_ = emptyArray();
    flag_argument_ = scalarArray(0);
    setUpRecord();
    handshake();
    checkDeclaredSizes(params.size());
    allocateWork();
}

BlockInstance::~BlockInstance() = default;

void BlockInstance::setUpRecord() {
    record_ = std::make_unique<SimStruct>();
    rt_info_ = std::make_unique<ssRTInfo>();
    SimStruct* S = record_.get();
    S->model_name = model_name_.c_str();
    S->path = name_.c_str();
    S->root = S;
    S->rt_info = rt_info_.get();
    S->sfcn_params.count = static_cast<int_T>(param_handles_.size());
    S->sfcn_params.handles = param_handles_.data();
    S->port_info.register_num_input_ports = &registerInputs;
    S->port_info.register_num_input_ports_argument = this;
    S->port_info.register_num_output_ports = &registerOutputs;
    S->port_info.register_num_output_ports_argument = this;
    S->sample_time_info.sample_times = &sample_time_;
    S->sample_time_info.offset_times = &offset_time_;
    registration_.hold(S);
}

// The sizes call with the record's address: the plug-in checks the name, binds its methods
// into the record and sizes the block.
void BlockInstance::handshake() {
    const ArrayPtr handle = columnVectorArray(handshakeHandle(record_.get()));
    mxGetPr(flag_argument_.get())[0] = 0;
    const mxArray* prhs[4] = {no_value_.get(), handle.get(), no_value_.get(), flag_argument_.get()};
    mxArray* plhs[1] = {nullptr};
    std::string failure;
    {
        ConsoleCapture capture(console_);
        failure = callEntry(plugin_->entry(), 1, plhs, 4, prhs);
    }
    ArrayPtr returned(plhs[0]);
    if (!failure.empty()) throw error("mdlInitializeSizes", failure);
    // A block may refuse its parameters by the error status instead of raising an error.
    if (const char* status = ssGetErrorStatus(record_.get())) throw error("mdlInitializeSizes", status);
    sizes_ = takeSizesVector(returned.release());
    if (!record_->methods.mdlInitializeSizes)
        throw error("mdlInitializeSizes", "the plug-in bound no methods in the sizing handshake");
}

void BlockInstance::checkDeclaredSizes(std::size_t params_given) const {
    const SimStruct* S = record_.get();
    if (registration_failed_) throw error("mdlInitializeSizes", "out of memory for its ports");
    if (!refused_ports_.empty()) throw error("mdlInitializeSizes", refused_ports_);
    const int declared = ssGetNumSFcnParams(S);
    if (params_given < static_cast<std::size_t>(std::max(declared, 0)))
        throw error("mdlInitializeSizes", "the block declares " + std::to_string(declared) +
                                              " dialog parameters, but " +
                                              std::to_string(params_given) + " were given");
    if (ssGetNumContStates(S) < 0 || ssGetNumIWork(S) < 0)
        throw error("mdlInitializeSizes", "the block declares a negative state or work count");
    for (std::size_t p = 0; p < input_ports_.size(); ++p)
        if (input_ports_[p].width != 1)
            throw error("mdlInitializeSizes", "input port " + std::to_string(p) + " has width " +
                                                  std::to_string(input_ports_[p].width) +
                                                  "; the host drives ports of width 1");
    for (std::size_t p = 0; p < output_ports_.size(); ++p)
        if (output_ports_[p].width != 1)
            throw error("mdlInitializeSizes", "output port " + std::to_string(p) + " has width " +
                                                  std::to_string(output_ports_[p].width) +
                                                  "; the host drives ports of width 1");
}

void BlockInstance::allocateWork() {
    SimStruct* S = record_.get();
    states_.assign(static_cast<std::size_t>(ssGetNumContStates(S)), 0.0);
    derivatives_.assign(states_.size(), 0.0);
    iwork_.assign(static_cast<std::size_t>(ssGetNumIWork(S)), 0);
    S->work.cont_states = states_.data();
    S->work.derivatives = derivatives_.data();
    S->work.iwork = iwork_.data();
}

// Port registrations of the host's record. They run inside the plug-in's sizing call, so
// nothing is thrown from them; a refused count is remembered and reported after the
// handshake, so that the instance is never used with ports the block could not declare.
int_T BlockInstance::registerInputs(void* self, int_T count) {
    auto* block = static_cast<BlockInstance*>(self);
    try {
        if (!block->portCountAllowed(count, "input")) return 0;
        block->allocateInputs(count);
        return 1;
    } catch (...) {
        block->registration_failed_ = true;
        return 0;
    }
}

int_T BlockInstance::registerOutputs(void* self, int_T count) {
    auto* block = static_cast<BlockInstance*>(self);
    try {
        if (!block->portCountAllowed(count, "output")) return 0;
        block->allocateOutputs(count);
        return 1;
    } catch (...) {
        block->registration_failed_ = true;
        return 0;
    }
}

bool BlockInstance::portCountAllowed(int_T count, const char* kind) {
    if (count >= 0 && count <= max_ports) return true;
    refused_ports_ = "the block asked for " + std::to_string(count) + " " + kind +
                     " ports; the host allows 0 to " + std::to_string(max_ports);
    return false;
}

void BlockInstance::allocateInputs(int_T count) {
    input_ports_.assign(portCount(count), ssInputPort{});
    inputs_.assign(portCount(count), 0.0);
    input_ptrs_.assign(portCount(count), nullptr);
    for (std::size_t p = 0; p < portCount(count); ++p) {
        input_ptrs_[p] = &inputs_[p];
        input_ports_[p].signal_ptrs = &input_ptrs_[p];
    }
    SimStruct* S = record_.get();
    S->flags |= SS_FLAG_PORTS_REGISTERED;
    S->sizes[SS_SIZES_NUM_INPUT_PORTS] = count;
    S->port_info.inputs = input_ports_.data();
}

void BlockInstance::allocateOutputs(int_T count) {
    output_ports_.assign(portCount(count), ssOutputPort{});
    outputs_.assign(portCount(count), 0.0);
    for (std::size_t p = 0; p < portCount(count); ++p)
        output_ports_[p].signal = &outputs_[p];
    SimStruct* S = record_.get();
    S->flags |= SS_FLAG_PORTS_REGISTERED;
    S->sizes[SS_SIZES_NUM_OUTPUT_PORTS] = count;
    S->port_info.outputs = output_ports_.data();
}

int BlockInstance::numStates() const {
    return ssGetNumContStates(record_.get());
}
int BlockInstance::numInputs() const {
    return static_cast<int>(input_ports_.size());
}
int BlockInstance::numOutputs() const {
    return static_cast<int>(output_ports_.size());
}
int BlockInstance::numIWork() const {
    return ssGetNumIWork(record_.get());
}

bool BlockInstance::directFeedThrough(int port) const {
    if (port < 0 || port >= numInputs())
        throw HostError("block \"" + name_ + "\" has no input port " + std::to_string(port));
    return input_ports_[static_cast<std::size_t>(port)].direct_feed_through != 0;
}

void BlockInstance::setParam(int k, const std::vector<double>& values) {
    if (k < 0 || static_cast<std::size_t>(k) >= params_.size())
        throw HostError("block \"" + name_ + "\" has no dialog parameter " + std::to_string(k));
    const auto index = static_cast<std::size_t>(k);
    params_[index] = rowVectorArray(values);
    param_handles_[index] = params_[index].get();
}

void BlockInstance::initializeSampleTimes() {
    call(flag_initialize_sample_times, "mdlInitializeSampleTimes");
}

void BlockInstance::initializeConditions() {
    call(flag_initialize_conditions, "mdlInitializeConditions");
}

void BlockInstance::outputs(double time, int task) {
    record_->time = time;
    ssSetCallArgument(record_.get(), task);
    call(flag_outputs, "mdlOutputs");
}

void BlockInstance::derivatives(double time) {
    derivatives(time, derivatives_.data());
}

void BlockInstance::derivatives(double time, double* into) {
    // The record points at the instance's own vector again however the call ends.
    struct PointBack {
        SimStruct* S;
        double* own;
        ~PointBack() { S->work.derivatives = own; }
    } point_back{record_.get(), derivatives_.data()};
    record_->time = time;
    std::fill(into, into + derivatives_.size(), 0.0);
    record_->work.derivatives = into;
    call(flag_derivatives, "mdlDerivatives");
}

void BlockInstance::terminate() {
    call(flag_terminate, "mdlTerminate");
}

std::string BlockInstance::takeConsole() {
    return std::exchange(console_, {});
}

// One method call as the platform makes it: the record in left-hand slot 1, the flag as
// right-hand argument 3; the block answers through the root record's error status.
void BlockInstance::call(int flag, const char* method) {
    SimStruct* S = record_.get();
    ssSetErrorStatus(S, nullptr);
    rt_info_->status |= SS_STATUS_RUNNING;
    mxGetPr(flag_argument_.get())[0] = flag;
    mxArray* plhs[2] = {nullptr, reinterpret_cast<mxArray*>(S)};
    const mxArray* prhs[4] = {no_value_.get(), no_value_.get(), no_value_.get(),
                              flag_argument_.get()};
    std::string failure;
    {
        ConsoleCapture capture(console_);
        failure = callEntry(plugin_->entry(), -1, plhs, 4, prhs);
    }
    if (!failure.empty()) throw error(method, failure);
    if (const char* status = ssGetErrorStatus(S)) throw error(method, status);
}

HostError BlockInstance::error(const char* method, const std::string& text) const {
    return HostError("block \"" + name_ + "\" (" + model_name_ + "), " + method + ": " + text);
}

} // namespace tavrel::host
