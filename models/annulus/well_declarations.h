// The well's and the fluid's dialog parameters that several blocks read, declared once: name,
// unit, meaning and default (the default well: vertical, 3000 m, four sensors). A block's
// parameter list places one at its own dialog position by naming it, e.g.
// X(annulus_length, read, well::annulus_length).
#pragma once

#include "block_declarations.h"

// X(id, declaration): the identifier is the parameter's name.
#define TAVREL_WELL_PARAMS(X)                                                                      \
    X(annulus_area, scalarParam("m2", "cross-section of the annulus", {0.024}))                    \
    X(density_ref, scalarParam("kg/m3", "fluid density at pressure_ref", {1300}))                  \
    X(pressure_ref, scalarParam("Pa", "reference pressure of the equation of state", {1e5}))       \
    X(friction_linear, scalarParam("1/s", "friction per unit velocity", {0.1}))                    \
    X(friction_quadratic, scalarParam("1/m", "friction per squared velocity", {0.17}))             \
    X(sound_speed, scalarParam("m/s", "speed of pressure waves in the annulus", {1000}))           \
    X(invariant_pressure_ref,                                                                      \
      scalarParam("Pa", "pressure at which the wave invariants are zero", {20e5}))                 \
    X(invariant_velocity_ref,                                                                      \
      scalarParam("m/s", "velocity at which the wave invariants are zero", {0}))                   \
    X(initial_top_pressure,                                                                        \
      scalarParam("Pa", "pressure at the top of the fluid at rest at the start", {20e5}))          \
    X(annulus_length, scalarParam("m", "length of the annulus", {3000}))                           \
    X(inclination,                                                                                 \
      scalarParam("rad", "angle of the annulus to the horizontal", {1.5707963267948966}))          \
    X(displacer_depth, scalarParam("m", "depth of the displacer (string end)", {3000}))            \
    X(displacer_area_outer, scalarParam("m2", "outer cross-section of the displacer", {0.01267}))  \
    X(displacer_area_inner, scalarParam("m2", "inner cross-section of the displacer", {0}))        \
    X(displacer_loss_linear,                                                                       \
      scalarParam("Pa.s/m", "displacer pressure loss per unit velocity", {0}))                     \
    X(displacer_loss_quadratic,                                                                    \
      scalarParam("Pa.s2/m2", "displacer pressure loss per squared velocity", {0}))                \
    X(num_fixed_outputs, countParam("1", "outputs before the sensor pressures", {7}))              \
    X(sensor_positions, vectorParam("m", "distances of the pressure sensors from the bottom",      \
                                    {0, 1000, 2000, 3000}))

namespace tavrel::well {

#define TAVREL_WELL_FACT(id, ...) inline constexpr auto id = named(#id, __VA_ARGS__);
TAVREL_WELL_PARAMS(TAVREL_WELL_FACT)
#undef TAVREL_WELL_FACT

} // namespace tavrel::well
