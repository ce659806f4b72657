// The reduced rig model block `tavrel_linear`: the rig annulus on 100 cells with wave
// variables linear in pressure, both travelling at the fixed sound speed, and the choke flow
// in closed form.
#pragma once

#include "simstruc.h"

namespace tavrel::linear {

void mdlInitializeSizes(SimStruct* S);
void mdlInitializeConditions(SimStruct* S);
void mdlOutputs(SimStruct* S, int_T tid);
void mdlDerivatives(SimStruct* S);

} // namespace tavrel::linear
