// A PI controller for the choke, written as a level-2 S-function plug-in: it holds a measured
// pressure at a setpoint by moving the choke setpoint, with anti-windup.
//
//   y0 = clamp(u1 + kp*e + ki*x0, min, max),  e = setpoint - u0,  dx0/dt = e
//
// and the integral x0 stops while y0 is held at a limit and e pushes it further.
//
// Dialog parameters (a scenario gives them as `params = [...]`, in this order):
//   0 setpoint [Pa], 1 kp [1/Pa], 2 ki [1/(Pa s)], 3 min, 4 max
// Inputs: u0 the measured pressure [Pa]; u1 the bias, the output at zero error and integral
// (hold it at the choke's initial opening for a bumpless start). Both are read by mdlOutputs,
// so both have direct feed-through.
// Output y0: the choke setpoint. State x0: the integral of the error [Pa s].
#include "mex_entry.h"
#include "simstruc.h"

namespace {

enum Param { SETPOINT, KP, KI, MIN, MAX, NUM_PARAMS };
enum Input { MEASURED, BIAS, NUM_INPUTS };

double param(SimStruct* S, int k) { return mxGetPr(ssGetSFcnParam(S, k))[0]; }

// Every parameter one real number, and min <= max; else the reason.
const char* badParameters(SimStruct* S) {
    for (int k = 0; k < NUM_PARAMS; ++k) {
        const mxArray* p = ssGetSFcnParam(S, k);
        if (!p || !mxIsDouble(p) || mxGetNumberOfElements(p) != 1)
            return "pi_choke_controller: every parameter must be one number";
    }
    if (!(param(S, MIN) <= param(S, MAX))) return "pi_choke_controller: min must not exceed max";
    return nullptr;
}

void mdlInitializeSizes(SimStruct* S) {
    ssSetNumSFcnParams(S, NUM_PARAMS);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return; // the host reports the count
    if (const char* reason = badParameters(S)) {
        ssSetErrorStatus(S, reason);
        return;
    }
    ssSetNumContStates(S, 1);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, NUM_INPUTS)) return;
    for (int port = 0; port < NUM_INPUTS; ++port) {
        ssSetInputPortWidth(S, port, 1);
        ssSetInputPortDirectFeedThrough(S, port, 1);
    }
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
}

void mdlInitializeConditions(SimStruct* S) { ssGetContStates(S)[0] = 0.0; }

double input(SimStruct* S, int port) { return *ssGetInputPortRealSignalPtrs(S, port)[0]; }

double error(SimStruct* S) { return param(S, SETPOINT) - input(S, MEASURED); }

double unlimited(SimStruct* S) {
    return input(S, BIAS) + param(S, KP) * error(S) + param(S, KI) * ssGetContStates(S)[0];
}

void mdlOutputs(SimStruct* S, int_T) {
    const double u = unlimited(S);
    const double lo = param(S, MIN), hi = param(S, MAX);
    ssGetOutputPortRealSignal(S, 0)[0] = u < lo ? lo : (u > hi ? hi : u);
}

void mdlDerivatives(SimStruct* S) {
    const double e = error(S);
    const double u = unlimited(S);
    const double ki = param(S, KI);
    const bool winds_up = (u > param(S, MAX) && ki * e > 0) || (u < param(S, MIN) && ki * e < 0);
    ssGetdX(S)[0] = winds_up ? 0.0 : e;
}

const tavrel::BlockDefinition block{
    "pi_choke_controller",
    {&mdlInitializeSizes, &mdlInitializeConditions, &mdlOutputs, &mdlDerivatives},
    0};

} // namespace

TAVREL_DEFINE_MEX_FUNCTION(block)
