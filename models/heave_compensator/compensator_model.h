// The heave compensator `heave_compensator`: a choke setpoint made of a feedforward from the
// estimated heave velocity, advanced in time, and a slow integral feedback on a pressure.
#pragma once

#include "simstruc.h"

namespace tavrel::compensator {

// 8 parameters, 3 continuous states, one integer work element, three inputs (the pressure and
// the choke opening with direct feed-through), one output.
void mdlInitializeSizes(SimStruct* S);

// Resonator and integral at 0; arms the first-output flag.
void mdlInitializeConditions(SimStruct* S);

// The choke setpoint, limited to [0, 1]. The first call after initialisation sets the integral
// so that the setpoint equals the measured choke opening (a bumpless start).
void mdlOutputs(SimStruct* S, int_T tid);

// The resonator driven by the velocity estimate, and the integral with its anti-windup.
void mdlDerivatives(SimStruct* S);

} // namespace tavrel::compensator
