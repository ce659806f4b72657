// The MEX entry of every plug-in. A negative left-hand count is a method call from the
// simulation host, answered through the dispatch table below; any other call is a sizes call,
// either the host's sizing handshake (which binds the model's methods into the host's record)
// or a call from the command line (which sizes a record made here for the one call).
//
// Method calls report failures only as the root record's error status; sizes calls report them
// through mexErrMsgTxt, which does not return. No C++ exception is thrown from here.
#include "mex_entry.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

// Whether `record` is a live record of a host in this process (see mex_host.h). Declared here,
// weak, because a plug-in built for another MEX host has no such function: there the symbol
// stays null and no handshake is accepted.
extern "C" __attribute__((weak)) int mexIsHostRecord(const void* record);

namespace tavrel {

namespace {

// ---- Method calls ---------------------------------------------------------------------------

constexpr const char* invalid_flag_text = "Invalid flag encountered in simulink";
constexpr const char* variable_hit_text =
    "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and add a "
    "mdlGetTimeOfNextVarHit routine";
constexpr const char* zero_crossings_text =
    "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
    "mdlZeroCrossings routine";

// Errors of a method call go to the root record, whose run is marked as no longer running; the
// host reads the status when the call returns.
void reportMethodError(SimStruct* S, const char* message) {
    SimStruct* root = ssGetRootSS(S) ? ssGetRootSS(S) : S;
    if (ssRTInfo* info = ssGetRTInfo(root)) info->status &= ~SS_STATUS_RUNNING;
    ssSetErrorStatus(root, message);
}

void variableHitStub(SimStruct* S) { reportMethodError(S, variable_hit_text); }
void zeroCrossingsStub(SimStruct* S) { reportMethodError(S, zero_crossings_text); }

// Calls a method entry of the record; false when the entry is empty.
template <class Method, class... Args> bool callIfSet(Method method, SimStruct* S, Args... args) {
    if (!method) return false;
    method(S, args...);
    return true;
}

// For the methods the block defines itself, the record's entry only tells whether the host
// bound them; the block's own method is called.
bool callOwnIfBound(mdlRecordMethod bound, mdlRecordMethod own, SimStruct* S) {
    if (!bound || !own) return false;
    own(S);
    return true;
}

int_T port(const SimStruct* S) { return ssGetCallArgument(S); }
int_T intArgument(const SimStruct* S) { return ssGetRTInfo(S)->int_argument; }
bool dimensionMethods(const SimStruct* S) { return S->flags & SS_FLAG_PORT_DIMENSION_METHODS; }

const ssExtensionMethods& extension(const SimStruct* S) {
    static const ssExtensionMethods none{};
    return S->extension ? *S->extension : none;
}

// One entry per flag from 101: what the flag calls (false when the record lacks the method)
// and the message reported when it calls nothing.
using MethodCall = bool (*)(const BlockDefinition& block, SimStruct* S);
struct FlagEntry {
    MethodCall call; // null: the flag is always answered with its message
    const char* message;
};

constexpr int first_flag = 101;
using Block = const BlockDefinition&;

constexpr FlagEntry flag_table[] = {
    /* 101 */ {[](Block, SimStruct* S) { return mdlInitializeSampleTimes(S), true; }, nullptr},
    /* 102 */
    {[](Block b, SimStruct* S) {
         return callOwnIfBound(S->methods.mdlInitializeConditions,
                               b.methods.initialize_conditions, S);
     },
     "Unexpected call to mdlInitializeConditions"},
    /* 103 */ {nullptr, variable_hit_text},
    /* 104 */
    {[](Block b, SimStruct* S) { return b.methods.outputs(S, port(S) == -2 ? -2 : 0), true; },
     nullptr},
    /* 105 */ {nullptr, invalid_flag_text},
    /* 106 */
    {[](Block b, SimStruct* S) {
         return callOwnIfBound(S->methods.mdlDerivatives, b.methods.derivatives, S);
     },
     "Unexpected call to mdlDerivatives"},
    /* 107 */ {[](Block, SimStruct* S) { return mdlTerminate(S), true; }, nullptr},
    /* 108 */ {nullptr, zero_crossings_text},
    /* 109 */ {nullptr, invalid_flag_text},
    /* 110 */ {nullptr, invalid_flag_text},
    /* 111 */
    {[](Block, SimStruct* S) { return callIfSet(S->methods.mdlSetWorkWidths, S); },
     "Unexpected call to mdlSetWorkWidths"},
    /* 112 */
    {[](Block, SimStruct* S) { return callIfSet(S->methods.mdlCheckParameters, S); },
     "Unexpected call to mdlCheckParameters"},
    /* 113 */
    {[](Block, SimStruct* S) {
         return callIfSet(S->methods.mdlSetInputPortDataType, S, port(S), intArgument(S));
     },
     "Unexpected call to mdlSetInputPortDataType"},
    /* 114 */
    {[](Block, SimStruct* S) {
         return callIfSet(S->methods.mdlSetOutputPortDataType, S, port(S), intArgument(S));
     },
     "Unexpected call to mdlSetOutputPortDataType"},
    /* 115 */
    {[](Block, SimStruct* S) {
         return !dimensionMethods(S) &&
                callIfSet(S->methods.input_port_size.width, S, port(S), intArgument(S));
     },
     "Unexpected call to mdlSetInputPortWidth"},
    /* 116 */
    {[](Block, SimStruct* S) {
         return !dimensionMethods(S) &&
                callIfSet(S->methods.output_port_size.width, S, port(S), intArgument(S));
     },
     "Unexpected call to mdlSetOutputPortWidth"},
    /* 117 */ {nullptr, invalid_flag_text},
    /* 118 */ {nullptr, invalid_flag_text},
    /* 119 */ {nullptr, invalid_flag_text},
    /* 120 */
    {[](Block, SimStruct* S) {
         return callIfSet(S->methods.mdlSetInputPortComplexSignal, S, port(S), intArgument(S));
     },
     "Unexpected call to mdlSetInputPortComplexSignal"},
    /* 121 */
    {[](Block, SimStruct* S) {
         return callIfSet(S->methods.mdlSetOutputPortComplexSignal, S, port(S), intArgument(S));
     },
     "Unexpected call to mdlSetOutputPortComplexSignal"},
    /* 122 */
    {[](Block, SimStruct* S) {
         const ssRTInfo* info = ssGetRTInfo(S);
         return callIfSet(S->methods.mdlSetInputPortSampleTime, S, port(S),
                          info->sample_time_argument, info->offset_time_argument);
     },
     "Unexpected call to mdlSetInputPortSampleTime"},
    /* 123 */
    {[](Block, SimStruct* S) {
         const ssRTInfo* info = ssGetRTInfo(S);
         return callIfSet(S->methods.mdlSetOutputPortSampleTime, S, port(S),
                          info->sample_time_argument, info->offset_time_argument);
     },
     "Unexpected call to mdlSetOutputPortSampleTime"},
    /* 124 */ {nullptr, invalid_flag_text},
    /* 125 */ {nullptr, invalid_flag_text},
    /* 126 */
    {[](Block, SimStruct* S) {
         return dimensionMethods(S) && callIfSet(S->methods.input_port_size.dimension_info, S,
                                                 port(S), ssGetRTInfo(S)->pointer_argument);
     },
     "Unexpected call to mdlSetInputPortDimensionInfo"},
    /* 127 */
    {[](Block, SimStruct* S) {
         return dimensionMethods(S) && callIfSet(S->methods.output_port_size.dimension_info, S,
                                                 port(S), ssGetRTInfo(S)->pointer_argument);
     },
     "Unexpected call to mdlSetOutputPortDimensionInfo"},
    /* 128 */
    {[](Block, SimStruct* S) {
         return callIfSet(extension(S).mdlSetInputPortFrameData, S, port(S), intArgument(S));
     },
     "Unexpected call to mdlSetInputPortFrameData"},
    /* 129 */ {nullptr, invalid_flag_text},
    /* 130 */ {nullptr, invalid_flag_text},
    /* 131 */
    {[](Block, SimStruct* S) { return callIfSet(extension(S).mdlSetDefaultPortDimensionInfo, S); },
     "Unexpected call to mdlSetDefaultPortDimensionInfo"},
    /* 132 */
    {[](Block, SimStruct* S) { return callIfSet(extension(S).mdlSetDefaultPortDataTypes, S); },
     "Unexpected call to mdlSetDefaultPortDataTypes"},
    /* 133 */
    {[](Block, SimStruct* S) {
         return callIfSet(extension(S).mdlSetDefaultPortComplexSignals, S);
     },
     "Unexpected call to mdlSetDefaultPortComplexSignals"},
    /* 134 */ {nullptr, invalid_flag_text},
    /* 135 */ {nullptr, invalid_flag_text},
    /* 136 */ {nullptr, invalid_flag_text},
    /* 137 */ {nullptr, invalid_flag_text},
    /* 138 */ {nullptr, invalid_flag_text},
    /* 139 */ {nullptr, invalid_flag_text},
    /* 140 */ {nullptr, invalid_flag_text},
    /* 141 */ {nullptr, invalid_flag_text},
    /* 142 */
    {[](Block, SimStruct* S) {
         return callIfSet(extension(S).mdlInitializePropagationPass, S, port(S));
     },
     "Unexpected call to mdlInitializePropagationPass"},
    /* 143 */ {nullptr, invalid_flag_text},
    /* 144 */ {nullptr, "Unexpected call to mdlGetSimState (MDL_SIM_STATE not defined)"},
    /* 145 */ {nullptr, "Unexpected call to mdlSetSimState (MDL_SIM_STATE not defined)"},
};
static_assert(std::size(flag_table) == 45, "one entry per flag from 101 to 145");

void dispatch(const BlockDefinition& block, SimStruct* S, bool flag_valid, int flag) {
    const long index = static_cast<long>(flag) - first_flag;
    if (!flag_valid || index < 0 || index >= static_cast<long>(std::size(flag_table))) {
        reportMethodError(S, invalid_flag_text);
        return;
    }
    const FlagEntry& entry = flag_table[index];
    if (entry.call && entry.call(block, S)) return;
    reportMethodError(S, entry.message);
}

// ---- Reading numeric arguments --------------------------------------------------------------

template <class T> double elementAsDouble(const void* data) {
    return static_cast<double>(*static_cast<const T*>(data));
}

// First element of a real numeric array, read according to the array's class (an integer or
// single array is never read as if it held doubles). False for an empty, complex or
// non-numeric array: text and logical values are not numbers.
bool firstNumericValue(const mxArray* array, double& value) {
    if (!array || !mxIsNumeric(array) || mxIsComplex(array)) return false;
    const void* data = mxGetData(array);
    if (!data || mxGetNumberOfElements(array) == 0) return false;
    switch (mxGetClassID(array)) {
    case mxDOUBLE_CLASS: value = elementAsDouble<double>(data); return true;
    case mxSINGLE_CLASS: value = elementAsDouble<float>(data); return true;
    case mxINT8_CLASS: value = elementAsDouble<int8_t>(data); return true;
    case mxUINT8_CLASS: value = elementAsDouble<uint8_t>(data); return true;
    case mxINT16_CLASS: value = elementAsDouble<int16_t>(data); return true;
    case mxUINT16_CLASS: value = elementAsDouble<uint16_t>(data); return true;
    case mxINT32_CLASS: value = elementAsDouble<int32_t>(data); return true;
    case mxUINT32_CLASS: value = elementAsDouble<uint32_t>(data); return true;
    case mxINT64_CLASS: value = elementAsDouble<int64_t>(data); return true;
    case mxUINT64_CLASS: value = elementAsDouble<uint64_t>(data); return true;
    default: return false;
    }
}

// Truncation toward zero into a 32-bit integer; false (and no conversion) for a value that is
// not a number or whose truncation lies outside the 32-bit range.
bool truncateFlag(double value, int& flag) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
    flag = static_cast<int>(value);
    return true;
}

void methodCall(const BlockDefinition& block, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    SimStruct* S = plhs ? static_cast<SimStruct*>(static_cast<void*>(plhs[1])) : nullptr;
    if (!S) return; // no record to report on
    double value = 0;
    int flag = 0;
    const bool valid = nrhs > 3 && firstNumericValue(prhs[3], value) && truncateFlag(value, flag);
    dispatch(block, S, valid, flag);
}

// ---- Sizes call -----------------------------------------------------------------------------

constexpr std::size_t message_size = 256;

struct Banner {
    char text[message_size];
};

Banner bannerOf(const BlockDefinition& block) {
    Banner banner;
    std::snprintf(banner.text, sizeof banner.text, "MEX level2 S-function \"%s\"", block.name);
    return banner;
}

// Composes the message in a buffer of 256 characters (truncating what does not fit) and raises
// it; in a MEX host this does not return.
__attribute__((format(printf, 1, 2))) void raiseError(const char* format, ...) {
    char message[message_size];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    mexErrMsgTxt(message);
}

bool isInt32Value(double value) {
    int flag = 0;
    return truncateFlag(value, flag) && static_cast<double>(flag) == value;
}

// The argument checks of a sizes call, in order; false after raising the failed check's error.
bool checkSizesCall(const Banner& banner, int nlhs, int nrhs, const mxArray* prhs[]) {
    if (nrhs < 4) {
        raiseError("%s must be called with at least 4 right hand arguments", banner.text);
        return false;
    }
    if (nlhs > 1) {
        raiseError("%s called with too many left hand arguments", banner.text);
        return false;
    }
    const mxArray* flag = prhs[3];
    double value = 0;
    if (!flag || mxGetM(flag) * mxGetN(flag) != 1 || !firstNumericValue(flag, value) ||
        !isInt32Value(value)) {
        raiseError("The 4th right hand argument, FLAG, passed to %s must be an integer",
                   banner.text);
        return false;
    }
    if (value != 0) {
        raiseError("Invalid flag passed to %s", banner.text);
        return false;
    }
    return true;
}

// The host's handshake passes a 3-by-1 double array: the record's address in two 32-bit
// halves, then the record version.
bool isHostHandshake(const mxArray* handle) {
    if (!handle || !mxIsDouble(handle) || mxGetM(handle) != 3) return false;
    const double* data = mxGetPr(handle);
    return data && mxGetNumberOfElements(handle) >= 3 && data[2] == SIMSTRUCT_VERSION_LEVEL2;
}

// One 32-bit half of the record address, given as a signed or an unsigned 32-bit value.
bool addressHalf(double value, uint32_t& half) {
    if (!(value > -2147483649.0 && value < 4294967296.0)) return false;
    half = static_cast<uint32_t>(static_cast<int64_t>(value));
    return true;
}

SimStruct* handshakeRecord(const Banner& banner, const mxArray* handle) {
    const double* data = mxGetPr(handle);
    uint32_t low = 0, high = 0;
    if (!addressHalf(data[0], low) || !addressHalf(data[1], high) || (low == 0 && high == 0)) {
        raiseError("%s was given an invalid block record by the host", banner.text);
        return nullptr;
    }
    const uint64_t address = (static_cast<uint64_t>(high) << 32) | low;
    // Looked up by address only: a handle that names no live record is never dereferenced.
    auto* S = reinterpret_cast<SimStruct*>(static_cast<uintptr_t>(address));
    if (!mexIsHostRecord || !mexIsHostRecord(S)) {
        raiseError("%s was given an invalid block record by the host", banner.text);
        return nullptr;
    }
    return S;
}

// The record's model name must be the block's name. A long model name is cut in the message so
// that the whole message still fits its buffer.
bool checkModelName(const BlockDefinition& block, const SimStruct* S) {
    if (std::strcmp(block.name, "simulink_only_sfcn") == 0) return true;
    const char* model = ssGetModelName(S) ? ssGetModelName(S) : "";
    if (std::strcmp(model, block.name) == 0) return true;
    constexpr int shown = 64;
    const bool cut = std::strlen(model) > static_cast<std::size_t>(shown);
    raiseError("S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME %s\", "
               "whereas name of the S-function MEX file is \"%.*s%s\". The source needs to be "
               "updated",
               block.name, shown, model, cut ? "..." : "");
    return false;
}

void bindMethods(const BlockDefinition& block, SimStruct* S) {
    ssModelMethods& m = S->methods;
    m.mdlInitializeSizes = block.methods.initialize_sizes;
    m.mdlInitializeSampleTimes = &mdlInitializeSampleTimes;
    m.mdlInitializeConditions = block.methods.initialize_conditions;
    m.mdlGetTimeOfNextVarHit = &variableHitStub;
    m.mdlOutputs = block.methods.outputs;
    m.mdlDerivatives = block.methods.derivatives;
    m.mdlZeroCrossings = &zeroCrossingsStub;
    m.mdlTerminate = &mdlTerminate;
}

SimStruct* hostRecord(const BlockDefinition& block, const Banner& banner, const mxArray* handle) {
    SimStruct* S = handshakeRecord(banner, handle);
    if (!S || !checkModelName(block, S)) return nullptr;
    bindMethods(block, S);
    return S;
}

// As many ports as the simulation host accepts: a parameter asking for billions of ports is
// refused with an error instead of an allocation of tens of gigabytes.
constexpr int_T max_command_line_ports = 1 << 20;

// Port-count registration of a command-line record: refuses a negative count, raises an error
// for a count above the limit, else records it and gives the record that many zeroed ports.
template <class Port>
int_T registerPorts(SimStruct* S, int_T count, int field, Port*& ports, const char* kind) {
    if (count < 0) return 0;
    if (count > max_command_line_ports) {
        raiseError("MEX level2 S-function \"%s\" declares %d %s ports; at most %d are supported",
                   ssGetModelName(S), count, kind, max_command_line_ports);
        return 0;
    }
    S->flags |= SS_FLAG_PORTS_REGISTERED;
    S->sizes[field] = count;
    if (count > 0) ports = static_cast<Port*>(mxCalloc(static_cast<std::size_t>(count),
                                                       sizeof(Port)));
    return 1;
}

int_T registerInputPorts(void* argument, int_T count) {
    auto* S = static_cast<SimStruct*>(argument);
    return registerPorts(S, count, SS_SIZES_NUM_INPUT_PORTS, S->port_info.inputs, "input");
}

int_T registerOutputPorts(void* argument, int_T count) {
    auto* S = static_cast<SimStruct*>(argument);
    return registerPorts(S, count, SS_SIZES_NUM_OUTPUT_PORTS, S->port_info.outputs, "output");
}

// The block reads its dialog parameters as real doubles while it sizes itself: a command-line
// call must pass at least as many as it reads, and only real double arrays.
bool checkDialogParameters(const BlockDefinition& block, const Banner& banner, int count,
                           const mxArray* const params[]) {
    if (count < block.params_read_by_sizes) {
        raiseError("%s needs at least %d dialog parameters, but %d were given", banner.text,
                   block.params_read_by_sizes, count);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (params[i] && mxIsDouble(params[i]) && !mxIsComplex(params[i])) continue;
        raiseError("Dialog parameter %d (right hand argument %d) passed to %s must be a real "
                   "double array",
                   i + 1, i + 5, banner.text);
        return false;
    }
    return true;
}

// A record for one command-line call, made with the host allocator, which reclaims it when the
// call returns. Its method entries stay empty.
SimStruct* commandLineRecord(const BlockDefinition& block, const Banner& banner, int nrhs,
                             const mxArray* prhs[]) {
    const int count = nrhs > 4 ? nrhs - 4 : 0;
    if (!checkDialogParameters(block, banner, count, prhs + 4)) return nullptr;
    auto* S = static_cast<SimStruct*>(mxCalloc(1, sizeof(SimStruct)));
    auto* info = static_cast<ssRTInfo*>(mxCalloc(1, sizeof(ssRTInfo)));
    S->root = S;
    S->rt_info = info;
    info->first_field = 1;
    S->sfcn_params.count = count;
    S->model_name = block.name;
    S->path = block.name;
    if (count > 0) {
        auto* handles = static_cast<mxArray**>(
            mxCalloc(static_cast<std::size_t>(count), sizeof(mxArray*)));
        for (int i = 0; i < count; ++i) handles[i] = const_cast<mxArray*>(prhs[4 + i]);
        S->sfcn_params.handles = handles;
    }
    S->port_info.register_num_input_ports = &registerInputPorts;
    S->port_info.register_num_input_ports_argument = S;
    S->port_info.register_num_output_ports = &registerOutputPorts;
    S->port_info.register_num_output_ports_argument = S;
    return S;
}

// Lets the host know that the record is being sized.
void announceSizesCall(SimStruct* S) {
    ssRTInfo* info = ssGetRTInfo(S);
    if (S->host_reserved && info && info->generic_host_function)
        info->generic_host_function(S, SS_GENERIC_SIZES_CALL, 1, nullptr);
}

// The 40 fields of the sizes area, signed except the unsigned words 15 to 18 and the options.
mxArray* sizesVector(const Banner& banner, SimStruct* S) {
    mxArray* vector = mxCreateDoubleMatrix(SS_SIZES_COUNT, 1, mxREAL);
    double* out = vector ? mxGetPr(vector) : nullptr;
    if (!out) {
        raiseError("%s could not create its sizes vector", banner.text);
        return nullptr;
    }
    for (int k = 0; k < SS_SIZES_COUNT; ++k) out[k] = S->sizes[k];
    const uint32_t options = static_cast<uint32_t>(S->sizes[SS_SIZES_OPTIONS]);
    S->sizes[SS_SIZES_OPTIONS] = static_cast<int32_t>(options | SS_OPTION_SIZES_ANSWERED);
    for (int k = SS_SIZES_FIRST_UNSIGNED_WORD; k <= SS_SIZES_LAST_UNSIGNED_WORD; ++k)
        out[k] = static_cast<uint32_t>(S->sizes[k]);
    out[SS_SIZES_OPTIONS] = static_cast<uint32_t>(S->sizes[SS_SIZES_OPTIONS]);
    return vector;
}

void sizesCall(const BlockDefinition& block, int nlhs, mxArray* plhs[], int nrhs,
               const mxArray* prhs[]) {
    const Banner banner = bannerOf(block);
    if (!checkSizesCall(banner, nlhs, nrhs, prhs)) return;
    SimStruct* S = isHostHandshake(prhs[1]) ? hostRecord(block, banner, prhs[1])
                                            : commandLineRecord(block, banner, nrhs, prhs);
    if (!S) return;
    S->sizes[SS_SIZES_VERSION] = SIMSTRUCT_VERSION_LEVEL2;
    announceSizesCall(S);
    block.methods.initialize_sizes(S);
    plhs[0] = sizesVector(banner, S);
}

} // namespace

void blockMexFunction(const BlockDefinition& block, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[]) {
    if (nlhs < 0)
        methodCall(block, plhs, nrhs, prhs);
    else
        sizesCall(block, nlhs, plhs, nrhs, prhs);
}

} // namespace tavrel
