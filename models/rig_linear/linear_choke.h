// Flow through the choke of the reduced rig model, in closed form.
#pragma once

#include "rig_invariants.h"

namespace tavrel::linear {

// Choke velocity vc (choke volume rate / annulus_area, positive out of the annulus) for the
// arriving `w_up` a at the top, choke coefficient Cv and injection flow q. It satisfies both
//   the wave relation  pc = invariant_pressure_ref + R*(a + invariant_velocity_ref + q/A - vc)
//   and the choke law  pc - downstream_pressure = sign(vc)*density_ref*(A*vc/Cv)^2,
// with R = sound_speed*density_ref and A = annulus_area. A choke with Cv <= 0 (or not a number)
// passes nothing. Arriving values or injection flows that are not numbers give not-a-number.
double linearChokeFlowVelocity(const rig::RigParams& p, double a, double Cv, double q);

} // namespace tavrel::linear
