// Formulas that every annulus model shares: the hydrostatic profile of the linear equation of
// state and the wall friction per unit mass.
#pragma once

#include <cmath>

namespace tavrel {

constexpr double gravity = 9.81;

struct HydrostaticInputs {
    double annulus_length;
    double sound_speed;
    double density_ref;
    double pressure_ref;
    double initial_top_pressure;
    double inclination;
};

// Pressure at grid point i (distance i*dx from the bottom) of the fluid at rest with
// `initial_top_pressure` at the top: the solution of dp/dx = -density(p)*g*sin(inclination)
// with c^2*density(p) = c^2*density_ref - pressure_ref + p.
inline double hydrostaticPressure(const HydrostaticInputs& h, int i, double dx) {
    const double c = h.sound_speed;
    const double G = (std::sin(h.inclination) * gravity) / std::pow(c, 2.0);
    const double E = std::exp((h.annulus_length - static_cast<double>(i) * dx) * G);
    return (((c * c) * h.density_ref - h.pressure_ref) + h.initial_top_pressure) * E -
           ((c * c) * h.density_ref - h.pressure_ref);
}

// Friction per unit mass at velocity v: linear plus quadratic in v.
inline double friction(double friction_linear, double friction_quadratic, double v) {
    return friction_linear * v + (std::fabs(v) * friction_quadratic) * v;
}

} // namespace tavrel
