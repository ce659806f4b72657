// The MEX entry of every plug-in. A negative left-hand count is a method call from the
// simulation host, answered through the dispatch table (method_dispatch.cpp); any other call is
// a sizes call, either the host's sizing handshake (which binds the model's methods into the
// host's record, host_handshake.cpp) or a call from the command line (which sizes a record
// made for the one call, command_line_record.cpp).
//
// Method calls report failures only as the root record's error status; sizes calls report them
// through mexErrMsgTxt, which does not return. No C++ exception is thrown from here.
#include "entry_parts.h"

#include <cstdint>

namespace tavrel {

namespace entry {
namespace {

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
    for (int k = 0; k < SS_SIZES_COUNT; ++k)
        out[k] = S->sizes[k];
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
} // namespace entry

void blockMexFunction(const BlockDefinition& block, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[]) {
    if (nlhs < 0)
        entry::methodCall(block, plhs, nrhs, prhs);
    else
        entry::sizesCall(block, nlhs, plhs, nrhs, prhs);
}

} // namespace tavrel
