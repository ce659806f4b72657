// A plug-in for the host tests: a two-state oscillator whose parameters choose its output
// ports and whose methods fail on request, through the error status or mexErrMsgTxt.
// Parameters: 0 output port count, 1 output width, 2 failure (1: mdlInitializeConditions sets
// an error status, 2: mdlOutputs raises an error, 3: mdlOutputs ends the process on a signal,
// as a crashing plug-in does).
#include "block_io.h"
#include "mex_entry.h"

#include <cstdlib>

namespace {

int failure(SimStruct* S) { return tavrel::truncateToInt32(tavrel::paramScalar(S, 2)); }

void sizes(SimStruct* S) {
    ssSetNumSFcnParams(S, 3);
    ssSetNumContStates(S, 2);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetNumIWork(S, 1);
    const int outputs = tavrel::truncateToInt32(tavrel::paramScalar(S, 0));
    if (!ssSetNumOutputPorts(S, outputs)) return;
    for (int p = 0; p < outputs; ++p)
        ssSetOutputPortWidth(S, p, tavrel::truncateToInt32(tavrel::paramScalar(S, 1)));
}

void conditions(SimStruct* S) {
    if (failure(S) == 1) ssSetErrorStatus(S, "conditions refused");
    ssGetContStates(S)[0] = 1;
    ssGetContStates(S)[1] = 0;
    ssGetIWork(S)[0] = 1;
}

void outputs(SimStruct* S, int_T tid) {
    if (failure(S) == 2) mexErrMsgTxt("outputs raised an error");
    if (failure(S) == 3) std::abort();
    const double y = ssGetContStates(S)[0] + tavrel::inputValue(S, 0);
    tavrel::writeOutput(S, 0, y);
    mexPrintf("outputs at t=%g task %d\n", ssGetT(S), tid);
}

void derivatives(SimStruct* S) {
    const double* x = ssGetContStates(S);
    ssGetdX(S)[0] = x[1];
    ssGetdX(S)[1] = -x[0];
}

const tavrel::BlockDefinition block{
    "tavrel_fake", {&sizes, &conditions, &outputs, &derivatives}, 2};

} // namespace

TAVREL_DEFINE_MEX_FUNCTION(block)
