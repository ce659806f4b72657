// `tavrel_observer`: its dialog parameters, ports, states and rules. Defaults: the observer of
// the shipped default study, tuned on its well (the innovation drives the displacer
// oscillator only; no wave corrections).
#pragma once

#include "block_description.h"
#include "observer_vocabulary.h"

namespace tavrel::observer {

inline constexpr ParamDescription params[param::count] = {
    {param::annulus_area, "annulus_area", "m2", "cross-section of the annulus", ParamShape::scalar,
     {0.024}},
    {param::density_ref, "density_ref", "kg/m3", "fluid density", ParamShape::scalar, {1300}},
    {param::pressure_ref, "pressure_ref", "Pa",
     "reference pressure of the equation of state of the initial profile", ParamShape::scalar,
     {1e5}},
    {param::friction_linear, "friction_linear", "1/s", "friction per unit velocity",
     ParamShape::scalar, {0.1}},
    {param::friction_quadratic, "friction_quadratic", "1/m", "friction per squared velocity",
     ParamShape::scalar, {0.17}},
    {param::sound_speed, "sound_speed", "m/s", "speed of pressure waves in the annulus",
     ParamShape::scalar, {1000}},
    {param::invariant_pressure_ref, "invariant_pressure_ref", "Pa",
     "pressure at which the wave invariants are zero", ParamShape::scalar, {20e5}},
    {param::invariant_velocity_ref, "invariant_velocity_ref", "m/s",
     "velocity at which the wave invariants are zero", ParamShape::scalar, {0}},
    {param::initial_top_pressure, "initial_top_pressure", "Pa",
     "pressure at the top of the fluid at rest at the start", ParamShape::scalar, {20e5}},
    {param::annulus_length, "annulus_length", "m", "length of the annulus", ParamShape::scalar,
     {3000}},
    // Keeps the dialog's layout; no name addresses it.
    {param::unused, "", "", "read by no method", ParamShape::scalar, {0}, ParamUse::ignored},
    {param::inclination, "inclination", "rad", "angle of the annulus to the horizontal",
     ParamShape::scalar, {1.5707963267948966}},
    {param::displacer_depth, "displacer_depth", "m", "depth of the displacer (string end)",
     ParamShape::scalar, {3000}},
    {param::displacer_area_outer, "displacer_area_outer", "m2",
     "outer cross-section of the displacer", ParamShape::scalar, {0.01267}},
    {param::displacer_area_inner, "displacer_area_inner", "m2",
     "inner cross-section of the displacer", ParamShape::scalar, {0}},
    {param::displacer_loss_linear, "displacer_loss_linear", "Pa.s/m",
     "displacer pressure loss per unit velocity", ParamShape::scalar, {0}},
    {param::displacer_loss_quadratic, "displacer_loss_quadratic", "Pa.s2/m2",
     "displacer pressure loss per squared velocity", ParamShape::scalar, {0}},
    {param::num_fixed_outputs, "num_fixed_outputs", "1", "outputs before the sensor pressures",
     ParamShape::scalar, {6}},
    {param::sensor_positions, "sensor_positions", "m",
     "distances of the pressure sensors from the bottom", ParamShape::vector,
     {0, 1000, 2000, 3000}},
    {param::gain_profile_up, "gain_profile_up", "1/s",
     "correction gains of w_up at equally spaced distances from the bottom to the top",
     ParamShape::vector, {0, 0}},
    {param::gain_profile_down, "gain_profile_down", "1/s",
     "correction gains of w_down at equally spaced distances from the bottom to the top",
     ParamShape::vector, {0, 0}},
    {param::displacer_quadrature_gain, "displacer_quadrature_gain", "1/m.s",
     "innovation gain of the oscillator's quadrature state", ParamShape::scalar, {8}},
    {param::displacer_velocity_gain, "displacer_velocity_gain", "1/m.s",
     "innovation gain of the displacer velocity estimate", ParamShape::scalar, {1}},
    {param::displacer_frequency, "displacer_frequency", "rad/s",
     "angular frequency of the displacer oscillator", ParamShape::scalar, {0.5235987755982988}},
};

inline constexpr PortDescription inputs[input::count] = {
    {input::measured_top_flow, "measured_top_flow", "m3/s", "measured flow out at the top", true},
    {input::measured_top_pressure, "measured_top_pressure", "Pa", "measured pressure at the top",
     true},
};

inline constexpr PortDescription outputs[output::fixed_count] = {
    {output::bottom_pressure, "bottom_pressure", "Pa", "estimated pressure at the bottom"},
    {output::displacer_pressure, "displacer_pressure", "Pa", "estimated pressure at the displacer"},
    {output::top_pressure, "top_pressure", "Pa", "estimated pressure at the top"},
    {output::top_flow, "top_flow", "m3/s", "estimated flow out at the top"},
    {output::bottom_flow, "bottom_flow", "m3/s", "estimated flow into the annulus at the bottom"},
    {output::displacer_velocity_estimate, "displacer_velocity_estimate", "m/s",
     "estimated displacer velocity"},
};

inline constexpr StateDescription states[] = {
    {state::unused, "unused_state", "", "carried for the host; never set or read"},
    {state::displacer_quadrature, "displacer_quadrature", "m/s",
     "second state of the displacer oscillator"},
    {state::displacer_velocity_estimate, "displacer_velocity_estimate", "m/s",
     "estimated displacer velocity"},
};

inline constexpr ParamRule rules[] = {
    {ParamRule::Kind::positive, param::annulus_area},
    {ParamRule::Kind::positive, param::annulus_length},
    {ParamRule::Kind::positive, param::density_ref},
    {ParamRule::Kind::positive, param::sound_speed},
    {ParamRule::Kind::not_negative, param::displacer_area_outer},
    {ParamRule::Kind::not_negative, param::displacer_area_inner},
    {ParamRule::Kind::not_negative, param::displacer_depth},
    {ParamRule::Kind::entries_within, param::sensor_positions, param::annulus_length},
    {ParamRule::Kind::min_entries, param::gain_profile_up, -1, 2},
    {ParamRule::Kind::min_entries, param::gain_profile_down, -1, 2},
};

inline constexpr BlockDescription description = {
    .name = "tavrel_observer",
    .meaning = "20-cell estimator of the annulus corrected from the measured top flow and pressure",
    .params = params,
    .inputs = inputs,
    .fixed_outputs = outputs,
    .sensor_output = {0, "sensor_pressure", "Pa", "estimated pressure at a sensor position"},
    .num_fixed_outputs_param = param::num_fixed_outputs,
    .sensor_positions_param = param::sensor_positions,
    .min_outputs = output::fixed_count,
    .cells = state::cells,
    .extra_states = states,
    .rules = rules,
};

static_assert(isConsistent(description));
static_assert(description.paramCount() == param::count &&
              description.stateCount() == state::count);

} // namespace tavrel::observer
