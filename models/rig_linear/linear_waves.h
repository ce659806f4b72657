// Wave variables of the reduced rig model: linear in pressure, formed with the fixed acoustic
// impedance sound_speed*density_ref about invariant_pressure_ref and invariant_velocity_ref.
#pragma once

#include "rig_invariants.h"
#include "wave_invariants.h"

namespace tavrel::linear {

inline LinearInvariants linearInvariants(const rig::RigParams& p) {
    return {p.sound_speed * p.density_ref, p.invariant_pressure_ref, p.invariant_velocity_ref};
}

} // namespace tavrel::linear
