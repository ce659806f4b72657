// The observer's dialog parameters as one method call reads them from the host.
#pragma once

#include "block_io.h"
#include "observer_vocabulary.h"
#include "wave_invariants.h"
#include "wave_physics.h"

namespace tavrel::observer {

// Read afresh from the host at the start of every method call; nothing survives the call.
struct ObserverParams {
    double annulus_area, density_ref, pressure_ref, friction_linear, friction_quadratic;
    double sound_speed, invariant_pressure_ref, invariant_velocity_ref, initial_top_pressure;
    double annulus_length, inclination, displacer_depth;
    double displacer_area_outer, displacer_area_inner;
    double displacer_loss_linear, displacer_loss_quadratic;
    int num_fixed_outputs;
    ParamVector sensor_positions, gain_profile_up, gain_profile_down;
    double displacer_quadrature_gain, displacer_velocity_gain, displacer_frequency;

    static ObserverParams read(const SimStruct* S);

    // Z: the acoustic impedance of the fluid.
    double impedance() const { return sound_speed * density_ref; }
    double cellLength() const { return annulus_length / state::cells; }
    LinearInvariants invariants() const {
        return {impedance(), invariant_pressure_ref, invariant_velocity_ref};
    }
    HydrostaticInputs hydrostatics() const {
        return {annulus_length, sound_speed,          density_ref,
                pressure_ref,   initial_top_pressure, inclination};
    }
};

inline ObserverParams ObserverParams::read(const SimStruct* S) {
    ObserverParams p;
    p.annulus_area = paramScalar(S, param::annulus_area);
    p.density_ref = paramScalar(S, param::density_ref);
    p.pressure_ref = paramScalar(S, param::pressure_ref);
    p.friction_linear = paramScalar(S, param::friction_linear);
    p.friction_quadratic = paramScalar(S, param::friction_quadratic);
    p.sound_speed = paramScalar(S, param::sound_speed);
    p.invariant_pressure_ref = paramScalar(S, param::invariant_pressure_ref);
    p.invariant_velocity_ref = paramScalar(S, param::invariant_velocity_ref);
    p.initial_top_pressure = paramScalar(S, param::initial_top_pressure);
    p.annulus_length = paramScalar(S, param::annulus_length);
    p.inclination = paramScalar(S, param::inclination);
    p.displacer_depth = paramScalar(S, param::displacer_depth);
    p.displacer_area_outer = paramScalar(S, param::displacer_area_outer);
    p.displacer_area_inner = paramScalar(S, param::displacer_area_inner);
    p.displacer_loss_linear = paramScalar(S, param::displacer_loss_linear);
    p.displacer_loss_quadratic = paramScalar(S, param::displacer_loss_quadratic);
    p.num_fixed_outputs = truncateToInt32(paramScalar(S, param::num_fixed_outputs));
    p.sensor_positions = paramVector(S, param::sensor_positions);
    p.gain_profile_up = paramVector(S, param::gain_profile_up);
    p.gain_profile_down = paramVector(S, param::gain_profile_down);
    p.displacer_quadrature_gain = paramScalar(S, param::displacer_quadrature_gain);
    p.displacer_velocity_gain = paramScalar(S, param::displacer_velocity_gain);
    p.displacer_frequency = paramScalar(S, param::displacer_frequency);
    return p;
}

} // namespace tavrel::observer
