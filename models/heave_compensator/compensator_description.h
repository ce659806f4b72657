// `heave_compensator`: its dialog parameters, ports, states and rules. Defaults: the gains
// tuned on the default well at a 12 s heave (studies/heave_compensator_tuning.toml).
#pragma once

#include "block_description.h"
#include "compensator_vocabulary.h"

namespace tavrel::compensator {

inline constexpr ParamDescription params[param::count] = {
    {param::displacer_frequency, "displacer_frequency", "rad/s",
     "angular frequency of the heave (2*pi/period)", ParamShape::scalar, {0.5235987755982988}},
    {param::filter_bandwidth, "filter_bandwidth", "rad/s",
     "bandwidth of the resonator that filters the heave velocity estimate", ParamShape::scalar,
     {0.15}},
    {param::advance_time, "advance_time", "s",
     "time by which the feedforward leads the heave velocity estimate (negative: lags it)",
     ParamShape::scalar, {-2.0}},
    {param::feedforward_gain, "feedforward_gain", "s/m",
     "choke opening per unit of heave velocity (down positive)", ParamShape::scalar, {0.14}},
    {param::pressure_setpoint, "pressure_setpoint", "Pa", "mean pressure to hold",
     ParamShape::scalar, {412e5}},
    {param::proportional_gain, "proportional_gain", "1/Pa",
     "choke opening per unit of pressure above the setpoint", ParamShape::scalar, {0}},
    {param::integral_gain, "integral_gain", "1/Pa.s",
     "rate of the choke opening per unit of pressure above the setpoint", ParamShape::scalar,
     {2e-9}},
    {param::anti_windup_time, "anti_windup_time", "s",
     "time constant that pulls the integral back while the setpoint is limited",
     ParamShape::scalar, {10}},
};

inline constexpr PortDescription inputs[input::count] = {
    {input::displacer_velocity_estimate, "displacer_velocity_estimate", "m/s",
     "estimated heave (displacer) velocity, down positive"},
    {input::held_pressure, "held_pressure", "Pa",
     "pressure held at the setpoint (estimated or measured bottom pressure)", true},
    {input::choke_opening, "choke_opening", "1", "measured choke opening 0 .. 1", true},
};

inline constexpr PortDescription outputs[output::count] = {
    {output::choke_setpoint, "choke_setpoint", "1", "commanded choke opening 0 .. 1"},
};

inline constexpr StateDescription states[state::count] = {
    {state::filtered_velocity, "filtered_velocity", "m/s",
     "heave velocity estimate through the resonator at the heave frequency"},
    {state::quadrature_velocity, "quadrature_velocity", "m/s",
     "quarter period ahead of filtered_velocity (its derivative over the frequency)"},
    {state::opening_integral, "opening_integral", "1",
     "mean choke opening held by the pressure feedback"},
};

inline constexpr ParamRule rules[] = {
    {ParamRule::Kind::positive, param::displacer_frequency},
    {ParamRule::Kind::positive, param::filter_bandwidth},
    {ParamRule::Kind::not_negative, param::proportional_gain},
    {ParamRule::Kind::not_negative, param::integral_gain},
    {ParamRule::Kind::positive, param::anti_windup_time},
};

inline constexpr BlockDescription description = {
    .name = "heave_compensator",
    .meaning = "choke setpoint that cancels the heave's pressure swing and holds the mean pressure",
    .params = params,
    .inputs = inputs,
    .fixed_outputs = outputs,
    .sensor_output = {},
    .num_fixed_outputs_param = -1,
    .sensor_positions_param = -1,
    .min_outputs = output::count,
    .cells = 0,
    .extra_states = states,
    .rules = rules,
};

static_assert(isConsistent(description));
static_assert(description.paramCount() == param::count &&
              description.stateCount() == state::count);

} // namespace tavrel::compensator
