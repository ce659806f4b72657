// The host's sizing handshake: the record named by its address, checked against the live
// records of this process and the block's name, and the block's methods bound into it.
#include "entry_parts.h"

#include <cstdint>
#include <cstring>

// Whether `record` is a live record of a host in this process (see mex_host.h). Declared here,
// weak, because a plug-in built for another MEX host has no such function: there the symbol
// stays null and no handshake is accepted.
extern "C" __attribute__((weak)) int mexIsHostRecord(const void* record);

namespace tavrel::entry {

namespace {

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

} // namespace

// The host's handshake passes a 3-by-1 double array: the record's address in two 32-bit
// halves, then the record version.
bool isHostHandshake(const mxArray* handle) {
    if (!handle || !mxIsDouble(handle) || mxGetM(handle) != 3) return false;
    const double* data = mxGetPr(handle);
    return data && mxGetNumberOfElements(handle) >= 3 && data[2] == SIMSTRUCT_VERSION_LEVEL2;
}

SimStruct* hostRecord(const BlockDefinition& block, const Banner& banner, const mxArray* handle) {
    SimStruct* S = handshakeRecord(banner, handle);
    if (!S || !checkModelName(block, S)) return nullptr;
    bindMethods(block, S);
    return S;
}

} // namespace tavrel::entry
