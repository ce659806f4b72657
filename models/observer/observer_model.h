// The observer `tavrel_observer`: a 20-cell linear wave model of the annulus, corrected
// continuously from the measured top flow and top pressure, with a two-state oscillator that
// estimates the displacer velocity.
#pragma once

#include "simstruc.h"

namespace tavrel::observer {

// 24 parameters, 43 continuous states, two inputs with direct feed-through, no work elements,
// num_fixed_outputs + (number of sensors) outputs of width 1.
void mdlInitializeSizes(SimStruct* S);

// The fluid at rest in its hydrostatic profile; the oscillator at 0.01 in both states.
void mdlInitializeConditions(SimStruct* S);

// Bottom, displacer and top pressures, top and bottom flows, the estimated displacer velocity
// and the sensor pressures.
void mdlOutputs(SimStruct* S, int_T tid);

// Upwind wave model plus the corrections from the innovation, and the displacer oscillator.
void mdlDerivatives(SimStruct* S);

} // namespace tavrel::observer
