// Method calls: the flag's entry in the dispatch table, from 101 to 145. Every failure is
// reported as the root record's error status; nothing is thrown.
#include "entry_parts.h"

#include <iterator>

namespace tavrel::entry {

namespace {

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

using Block = const BlockDefinition&;

constexpr FlagEntry flag_table[] = {
    /* 101 */ {[](Block, SimStruct* S) { return mdlInitializeSampleTimes(S), true; }, nullptr},
    /* 102 */
    {[](Block b, SimStruct* S) {
         return callOwnIfBound(S->methods.mdlInitializeConditions, b.methods.initialize_conditions,
                               S);
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
    {[](Block, SimStruct* S) { return callIfSet(extension(S).mdlSetDefaultPortComplexSignals, S); },
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
static_assert(std::size(flag_table) == SS_CALL_LAST - SS_CALL_FIRST + 1, "one entry per flag");

void dispatch(const BlockDefinition& block, SimStruct* S, bool flag_valid, int flag) {
    const long index = static_cast<long>(flag) - SS_CALL_FIRST;
    if (!flag_valid || index < 0 || index >= static_cast<long>(std::size(flag_table))) {
        reportMethodError(S, invalid_flag_text);
        return;
    }
    const FlagEntry& entry = flag_table[index];
    if (entry.call && entry.call(block, S)) return;
    reportMethodError(S, entry.message);
}

} // namespace

void variableHitStub(SimStruct* S) { reportMethodError(S, variable_hit_text); }
void zeroCrossingsStub(SimStruct* S) { reportMethodError(S, zero_crossings_text); }

void methodCall(const BlockDefinition& block, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    SimStruct* S = plhs ? static_cast<SimStruct*>(static_cast<void*>(plhs[1])) : nullptr;
    if (!S) return; // no record to report on
    double value = 0;
    int flag = 0;
    const bool valid = nrhs > 3 && firstNumericValue(prhs[3], value) && truncateFlag(value, flag);
    dispatch(block, S, valid, flag);
}

} // namespace tavrel::entry
