// Relations between the two wave invariants of a grid point and the flow there, shared by the
// annulus models: the velocity they carry, the boundary invariant that imposes a velocity, the
// displacer at the bottom, and the conversions of the invariants that are linear in pressure.
#pragma once

#include "wave_physics.h"

#include <cmath>

namespace tavrel {

// Velocity at a point: the mean of its two invariants plus the reference velocity.
inline double velocityFromInvariants(double w_up, double w_down, double invariant_velocity_ref) {
    return (w_up + w_down) * 0.5 + invariant_velocity_ref;
}

// The missing invariant at a boundary point (`w_up` at the bottom, `w_down` at the top) that,
// together with the other invariant `other` at that point, gives the velocity v there.
inline double boundaryInvariantForVelocity(double v, double invariant_velocity_ref, double other) {
    return (v - invariant_velocity_ref) * 2 - other;
}

// Velocity at the bottom of the annulus imposed by the displacer: it pushes fluid into the
// annulus while it moves with a negative velocity.
inline double displacerBottomVelocity(double area_outer, double area_inner,
                                      double displacer_velocity, double annulus_area) {
    return -((area_outer - area_inner) * displacer_velocity / annulus_area);
}

// Pressure on the displacer: the bottom pressure, the linear and quadratic losses of its motion
// and the head of a column of `density_ref` over `displacer_depth`.
inline double displacerPressure(double bottom_pressure, double displacer_velocity,
                                double loss_linear, double loss_quadratic, double density_ref,
                                double displacer_depth) {
    const double v = displacer_velocity;
    return ((density_ref * gravity) * displacer_depth) +
           (((v * loss_linear) + bottom_pressure) + (std::fabs(v) * (v * loss_quadratic)));
}

// Invariants linear in pressure, formed with the fixed acoustic impedance Z about the reference
// pressure and velocity.
struct LinearInvariants {
    double impedance; // Z = sound_speed * density_ref
    double invariant_pressure_ref;
    double invariant_velocity_ref;

    double pressure(double w_up, double w_down) const {
        return ((w_up - w_down) * impedance) * 0.5 + invariant_pressure_ref;
    }
    double velocity(double w_up, double w_down) const {
        return velocityFromInvariants(w_up, w_down, invariant_velocity_ref);
    }
    double up(double velocity, double pressure) const {
        return (velocity - invariant_velocity_ref) +
               (pressure - invariant_pressure_ref) / impedance;
    }
    double down(double velocity, double pressure) const {
        return (velocity - invariant_velocity_ref) -
               (pressure - invariant_pressure_ref) / impedance;
    }
};

} // namespace tavrel
