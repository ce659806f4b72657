// A block instance driven through its plug-in's mexFunction: the record the host owns, the
// sizing handshake that binds the block's methods into it, and the method calls by flag.
#include "block_instance.h"
#include "mex_protocol.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace tavrel::host {

namespace {

// The record's address in the handshake: low and high 32-bit halves, each as a signed 32-bit
// value, then the record version.
std::vector<double> handshakeHandle(const SimStruct* S) {
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(S));
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(address));
    const auto high = static_cast<std::int32_t>(static_cast<std::uint32_t>(address >> 32));
    return {static_cast<double>(low), static_cast<double>(high),
            static_cast<double>(SIMSTRUCT_VERSION_LEVEL2)};
}

std::shared_ptr<Plugin> requirePlugin(std::shared_ptr<Plugin> plugin, const std::string& name) {
    if (!plugin) throw HostError("block instance \"" + name + "\" has no plug-in");
    return plugin;
}

} // namespace

BlockInstance::BlockInstance(std::shared_ptr<Plugin> plugin, const ParamValues& params,
                             std::string instance_name)
    : plugin_(requirePlugin(std::move(plugin), instance_name)),
      name_(instance_name.empty() ? plugin_->blockName() : std::move(instance_name)),
      record_(params, plugin_->blockName(), name_, {}) {
    no_value_ = emptyArray();
    flag_argument_ = scalarArray(0);
    registration_.hold(record_.S());
    handshake();
    checkDeclaredSizes(params.size());
    record_.allocateWork();
}

BlockInstance::~BlockInstance() = default;

// The sizes call with the record's address: the plug-in checks the name, binds its methods
// into the record and sizes the block.
void BlockInstance::handshake() {
    const ArrayPtr handle = columnVectorArray(handshakeHandle(record_.S()));
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
    if (const char* status = ssGetErrorStatus(record_.S()))
        throw error("mdlInitializeSizes", status);
    sizes_ = takeSizesVector(returned.release());
    if (!record_.S()->methods.mdlInitializeSizes)
        throw error("mdlInitializeSizes", "the plug-in bound no methods in the sizing handshake");
}

void BlockInstance::checkDeclaredSizes(std::size_t params_given) const {
    const SimStruct* S = record_.S();
    if (record_.outOfMemory()) throw error("mdlInitializeSizes", "out of memory for its ports");
    if (!record_.refusal().empty()) throw error("mdlInitializeSizes", record_.refusal());
    const int declared = ssGetNumSFcnParams(S);
    if (params_given < static_cast<std::size_t>(std::max(declared, 0)))
        throw error("mdlInitializeSizes", "the block declares " + std::to_string(declared) +
                                              " dialog parameters, but " +
                                              std::to_string(params_given) + " were given");
    if (ssGetNumContStates(S) < 0 || ssGetNumIWork(S) < 0)
        throw error("mdlInitializeSizes", "the block declares a negative state or work count");
    const auto inputs = record_.inputPorts();
    for (std::size_t p = 0; p < inputs.size(); ++p)
        if (inputs[p].width != 1)
            throw error("mdlInitializeSizes", "input port " + std::to_string(p) + " has width " +
                                                  std::to_string(inputs[p].width) +
                                                  "; the host drives ports of width 1");
    const auto outputs = record_.outputPorts();
    for (std::size_t p = 0; p < outputs.size(); ++p)
        if (outputs[p].width != 1)
            throw error("mdlInitializeSizes", "output port " + std::to_string(p) + " has width " +
                                                  std::to_string(outputs[p].width) +
                                                  "; the host drives ports of width 1");
}

int BlockInstance::numStates() const { return ssGetNumContStates(record_.S()); }
int BlockInstance::numInputs() const { return static_cast<int>(record_.inputPorts().size()); }
int BlockInstance::numOutputs() const { return static_cast<int>(record_.outputPorts().size()); }
int BlockInstance::numIWork() const { return ssGetNumIWork(record_.S()); }

bool BlockInstance::directFeedThrough(int port) const {
    if (port < 0 || port >= numInputs())
        throw HostError("block \"" + name_ + "\" has no input port " + std::to_string(port));
    return record_.inputPorts()[static_cast<std::size_t>(port)].direct_feed_through != 0;
}

void BlockInstance::setParam(int k, const std::vector<double>& values) {
    if (k < 0 || static_cast<std::size_t>(k) >= record_.numParams())
        throw HostError("block \"" + name_ + "\" has no dialog parameter " + std::to_string(k));
    record_.setParam(static_cast<std::size_t>(k), values);
}

void BlockInstance::initializeSampleTimes() {
    call(SS_CALL_INITIALIZE_SAMPLE_TIMES, "mdlInitializeSampleTimes");
}

void BlockInstance::initializeConditions() {
    call(SS_CALL_INITIALIZE_CONDITIONS, "mdlInitializeConditions");
}

void BlockInstance::outputs(double time, int task) {
    record_.S()->time = time;
    ssSetCallArgument(record_.S(), task);
    call(SS_CALL_OUTPUTS, "mdlOutputs");
}

void BlockInstance::derivatives(double time) { derivatives(time, record_.derivatives().data()); }

void BlockInstance::derivatives(double time, double* into) {
    // The record points at the instance's own vector again however the call ends.
    struct PointBack {
        SimStruct* S;
        double* own;
        ~PointBack() { S->work.derivatives = own; }
    } point_back{record_.S(), record_.derivatives().data()};
    record_.S()->time = time;
    std::fill(into, into + record_.derivatives().size(), 0.0);
    record_.S()->work.derivatives = into;
    call(SS_CALL_DERIVATIVES, "mdlDerivatives");
}

void BlockInstance::terminate() { call(SS_CALL_TERMINATE, "mdlTerminate"); }

std::string BlockInstance::takeConsole() { return std::exchange(console_, {}); }

// One method call as the platform makes it: the record in left-hand slot 1, the flag as
// right-hand argument 3; the block answers through the root record's error status.
void BlockInstance::call(int flag, const char* method) {
    SimStruct* S = record_.S();
    ssSetErrorStatus(S, nullptr);
    ssGetRTInfo(S)->status |= SS_STATUS_RUNNING;
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
    return HostError("block \"" + name_ + "\" (" + plugin_->blockName() + "), " + method + ": " +
                     text);
}

} // namespace tavrel::host
