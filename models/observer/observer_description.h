// `tavrel_observer`: its dialog parameters, ports, states and rules. Defaults: the observer of
// the shipped default study, tuned on its well (the innovation drives the displacer
// oscillator only; no wave corrections).
#pragma once

#include "block_description.h"
#include "observer_vocabulary.h"
#include "well_parameters.h"

namespace tavrel::observer {

inline constexpr ParamDescription params[param::count] = {
    at(param::annulus_area, well::annulus_area),
    at(param::density_ref, well::density_ref),
    withMeaning(at(param::pressure_ref, well::pressure_ref),
                "reference pressure of the equation of state of the initial profile"),
    at(param::friction_linear, well::friction_linear),
    at(param::friction_quadratic, well::friction_quadratic),
    at(param::sound_speed, well::sound_speed),
    at(param::invariant_pressure_ref, well::invariant_pressure_ref),
    at(param::invariant_velocity_ref, well::invariant_velocity_ref),
    at(param::initial_top_pressure, well::initial_top_pressure),
    at(param::annulus_length, well::annulus_length),
    // Keeps the dialog's layout; no name addresses it.
    {param::unused, "", "", "read by no method", ParamShape::scalar, {0}, ParamUse::ignored},
    at(param::inclination, well::inclination),
    at(param::displacer_depth, well::displacer_depth),
    at(param::displacer_area_outer, well::displacer_area_outer),
    at(param::displacer_area_inner, well::displacer_area_inner),
    at(param::displacer_loss_linear, well::displacer_loss_linear),
    at(param::displacer_loss_quadratic, well::displacer_loss_quadratic),
    withDefault(at(param::num_fixed_outputs, well::num_fixed_outputs), {6}),
    at(param::sensor_positions, well::sensor_positions),
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
