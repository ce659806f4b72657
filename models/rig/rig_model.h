// The rig model block `tavrel`: the annulus driven at the bottom by the displacer velocity.
#pragma once

#include "simstruc.h"

namespace tavrel::rig {

void mdlInitializeSizes(SimStruct* S);
void mdlInitializeConditions(SimStruct* S);
void mdlOutputs(SimStruct* S, int_T tid);
void mdlDerivatives(SimStruct* S);

} // namespace tavrel::rig
