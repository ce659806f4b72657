#include "rig_model.h"

#include "rig_annulus.h"
#include "rig_declarations.h"

namespace tavrel::rig {

namespace {

// The displacer prescribes the bottom velocity; its pressure adds losses and the head of a
// column of density_ref and height displacer_depth to the bottom pressure.
RigBottom displacerBottom(const SimStruct* S, const RigParams& p) {
    const double u1 = inputValue(S, input::displacer_velocity);
    const double* x = ssGetContStates(S);
    RigBottom bottom;
    bottom.velocity = displacerBottomVelocity(p, u1);
    bottom.w_up_0 = boundaryInvariantForVelocity(p, bottom.velocity, x[state::w_down]);
    bottom.bottom_flow_output = bottom.velocity * p.annulus_area;
    // The same sums as losses-then-head in the other order: addition commutes exactly.
    bottom.displacer_pressure_output = displacerPressure(
        pressureFromInvariants(p, bottom.w_up_0, x[state::w_down]), u1, p.displacer_loss_linear,
        p.displacer_loss_quadratic, p.density_ref, p.displacer_depth);
    return bottom;
}

} // namespace

void mdlInitializeSizes(SimStruct* S) { declareRigSizes(S, state::count); }

void mdlInitializeConditions(SimStruct* S) {
    const RigParams p = RigParams::read(S);
    initializeAnnulus(S, p);
    ssGetContStates(S)[state::bottom_velocity_lag] = 0;
}

void mdlOutputs(SimStruct* S, int_T) {
    const RigParams p = RigParams::read(S);
    const double u2 = inputValue(S, input::injection_flow);
    applyInitialChokeOpening(S, p, u2);
    writeRigOutputs(S, p, displacerBottom(S, p), u2);
}

void mdlDerivatives(SimStruct* S) {
    const RigParams p = RigParams::read(S);
    const RigBottom bottom = displacerBottom(S, p);
    writeAnnulusDerivatives(S, p, bottom);
    // Lag with time constant 0.5 s that follows the bottom velocity.
    const double lag = ssGetContStates(S)[state::bottom_velocity_lag];
    ssGetdX(S)[state::bottom_velocity_lag] = (bottom.velocity - lag) * 2;
}

} // namespace tavrel::rig
