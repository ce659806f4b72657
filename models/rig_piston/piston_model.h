// The rig model block `tavrel_piston`: the annulus of `tavrel` whose bottom is fed by a
// compressible chamber; the displacer works on a second chamber joined to it by a passage.
#pragma once

#include "simstruc.h"

namespace tavrel::piston {

void mdlInitializeSizes(SimStruct* S);
void mdlInitializeConditions(SimStruct* S);
void mdlOutputs(SimStruct* S, int_T tid);
void mdlDerivatives(SimStruct* S);

} // namespace tavrel::piston
