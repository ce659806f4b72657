// The 150-cell annulus of the rig models, shared whole by `tavrel` and `tavrel_piston`: sizes,
// initial profile, top boundary at the choke, outputs and wave derivatives. The two blocks
// differ only in how they form the bottom boundary and in their states after the actuator.
#pragma once

#include "rig_invariants.h"

namespace tavrel::rig {

// Bottom of the annulus as a block forms it for one call.
struct RigBottom {
    double w_up_0;             // `w_up` at grid point 0
    double velocity;           // velocity at grid point 0
    double bottom_flow_output; // value of output `bottom_flow`
    double displacer_pressure_output;
};

// Top of the annulus at the choke for one call.
struct RigTop {
    double choke_coefficient;
    double choke_velocity; // t
    double w_down_top;     // `w_down` at grid point 150
};

// Declares the rig parameters, `num_states` continuous states, the rig inputs, the integer work
// element and num_fixed_outputs + N outputs.
void declareRigSizes(SimStruct* S, int num_states);

// Arms `first_output_flag` and writes the hydrostatic profile at rest into the wave states.
// Returns the bottom pressure of the profile.
double initializeAnnulus(SimStruct* S, const RigParams& p);

// On the first outputs call after initialisation: sets the choke opening from the injection
// flow and prints it.
void applyInitialChokeOpening(SimStruct* S, const RigParams& p, double injection_flow);

RigTop rigTopBoundary(const RigParams& p, const double* x, double injection_flow);

// Writes every output port from the states, the bottom and the injection flow.
void writeRigOutputs(SimStruct* S, const RigParams& p, const RigBottom& bottom,
                     double injection_flow);

// Derivatives of the wave states and of the choke opening (states 0 .. 300).
void writeAnnulusDerivatives(SimStruct* S, const RigParams& p, const RigBottom& bottom);

} // namespace tavrel::rig
