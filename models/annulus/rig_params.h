// The rig models' parameters as one call reads them from the host, and the conversions
// between pressure, velocity and the logarithmic invariants of the 150-cell rig models.
#pragma once

#include "block_io.h"
#include "rig_vocabulary.h"
#include "wave_invariants.h"
#include "wave_physics.h"

#include <cmath>

namespace tavrel::rig {

// Read afresh from the host at the start of every method call; nothing survives the call.
struct RigParams {
    double annulus_area, density_ref, pressure_ref, friction_linear, friction_quadratic;
    double sound_speed, invariant_pressure_ref, invariant_velocity_ref, downstream_pressure;
    double initial_top_pressure, choke_stroke_time, choke_density, inclination;
    double displacer_depth, displacer_area_outer, displacer_area_inner;
    double displacer_loss_linear, displacer_loss_quadratic, annulus_length;
    int num_fixed_outputs;
    ParamVector sensor_positions, choke_characteristic;

    static RigParams read(const SimStruct* S);

    // K: c^2*density = K + pressure.
    double stateOffset() const {
        return (sound_speed * sound_speed) * density_ref - pressure_ref;
    }
    HydrostaticInputs hydrostatics() const {
        return {annulus_length,    sound_speed,          density_ref,
                pressure_ref,      initial_top_pressure, inclination};
    }
};

inline RigParams RigParams::read(const SimStruct* S) {
    RigParams p;
    p.annulus_area = paramScalar(S, param::annulus_area);
    p.density_ref = paramScalar(S, param::density_ref);
    p.pressure_ref = paramScalar(S, param::pressure_ref);
    p.friction_linear = paramScalar(S, param::friction_linear);
    p.friction_quadratic = paramScalar(S, param::friction_quadratic);
    p.sound_speed = paramScalar(S, param::sound_speed);
    p.invariant_pressure_ref = paramScalar(S, param::invariant_pressure_ref);
    p.invariant_velocity_ref = paramScalar(S, param::invariant_velocity_ref);
    p.downstream_pressure = paramScalar(S, param::downstream_pressure);
    p.initial_top_pressure = paramScalar(S, param::initial_top_pressure);
    p.choke_stroke_time = paramScalar(S, param::choke_stroke_time);
    p.choke_density = paramScalar(S, param::choke_density);
    p.inclination = paramScalar(S, param::inclination);
    p.displacer_depth = paramScalar(S, param::displacer_depth);
    p.displacer_area_outer = paramScalar(S, param::displacer_area_outer);
    p.displacer_area_inner = paramScalar(S, param::displacer_area_inner);
    p.displacer_loss_linear = paramScalar(S, param::displacer_loss_linear);
    p.displacer_loss_quadratic = paramScalar(S, param::displacer_loss_quadratic);
    p.annulus_length = paramScalar(S, param::annulus_length);
    p.num_fixed_outputs = truncateToInt32(paramScalar(S, param::num_fixed_outputs));
    p.sensor_positions = paramVector(S, param::sensor_positions);
    p.choke_characteristic = paramVector(S, param::choke_characteristic);
    return p;
}

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
