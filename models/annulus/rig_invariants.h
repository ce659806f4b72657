// The conversions between pressure, velocity and the logarithmic invariants of the 150-cell rig
// models, on the rig parameters.
#pragma once

#include "rig_shared_declarations.h"
#include "wave_invariants.h"
#include "wave_physics.h"

#include <cmath>

namespace tavrel::rig {

// Pressure at a point from its invariants a = `w_up`, b = `w_down`.
inline double pressureFromInvariants(const RigParams& p, double a, double b) {
    const double K = p.stateOffset();
    return (K + p.invariant_pressure_ref) * std::exp((a - b) / (p.sound_speed * 2)) - K;
}

// Velocity at a point from its invariants.
inline double velocityFromInvariants(const RigParams& p, double a, double b) {
    return tavrel::velocityFromInvariants(a, b, p.invariant_velocity_ref);
}

// c * ln((K + p)/(K + invariant_pressure_ref)): the pressure part of both invariants.
inline double logPressureTerm(const RigParams& p, double pressure) {
    const double K = p.stateOffset();
    return std::log((K + pressure) / (K + p.invariant_pressure_ref)) * p.sound_speed;
}

// The boundary invariant that, with the other invariant `other` at the same point, gives the
// velocity v there: `w_up` at the bottom, `w_down` at the top.
inline double boundaryInvariantForVelocity(const RigParams& p, double v, double other) {
    return tavrel::boundaryInvariantForVelocity(v, p.invariant_velocity_ref, other);
}

// Hydrostatic head of a column of density density_ref and height displacer_depth.
inline double displacerHead(const RigParams& p) {
    return (p.density_ref * gravity) * p.displacer_depth;
}

// Velocity at the bottom that the displacer imposes.
inline double displacerBottomVelocity(const RigParams& p, double displacer_velocity) {
    return tavrel::displacerBottomVelocity(p.displacer_area_outer, p.displacer_area_inner,
                                           displacer_velocity, p.annulus_area);
}

} // namespace tavrel::rig
