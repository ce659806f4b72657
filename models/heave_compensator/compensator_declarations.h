// `heave_compensator`: its dialog parameters, ports, states and rules, declared once, and the
// parameter reader made from them. Defaults: the gains tuned on the default well at a 12 s heave
// (studies/heave_compensator_tuning.toml).
#pragma once

#include "block_declarations.h"

// X(id, use, declaration). `displacer_frequency` has the role and name of the observer's
// oscillator frequency.
#define TAVREL_COMPENSATOR_PARAMS(X)                                                               \
    X(displacer_frequency, read,                                                                   \
      scalarParam("rad/s", "angular frequency of the heave (2*pi/period)", {0.5235987755982988}))  \
    X(filter_bandwidth, read,                                                                      \
      scalarParam("rad/s", "bandwidth of the resonator that filters the heave velocity estimate",  \
                  {0.15}))                                                                         \
    X(advance_time, read,                                                                          \
      scalarParam("s",                                                                             \
                  "time by which the feedforward leads the heave velocity estimate "               \
                  "(negative: lags it)",                                                           \
                  {-2.0}))                                                                         \
    X(feedforward_gain, read,                                                                      \
      scalarParam("s/m", "choke opening per unit of heave velocity (down positive)", {0.14}))      \
    X(pressure_setpoint, read, scalarParam("Pa", "mean pressure to hold", {412e5}))                \
    X(proportional_gain, read,                                                                     \
      scalarParam("1/Pa", "choke opening per unit of pressure above the setpoint", {4e-8}))        \
    X(integral_gain, read,                                                                         \
      scalarParam("1/Pa.s", "rate of the choke opening per unit of pressure above the setpoint",   \
                  {2e-9}))                                                                         \
    X(anti_windup_time, read,                                                                      \
      scalarParam("s", "time constant that pulls the integral back while the setpoint is limited", \
                  {10}))                                                                           \
    X(downstream_pressure, read,                                                                   \
      scalarParam("Pa", "pressure behind the choke (its outlet)", {1e5}))                          \
    X(tuning_top_pressure, read,                                                                   \
      scalarParam("Pa",                                                                            \
                  "mean top pressure at which feedforward_gain was tuned; the gain is scaled by "  \
                  "the tuning's pressure drop over the choke's present one",                       \
                  {22.85e5}))                                                                      \
    X(top_pressure_filter_time, read,                                                              \
      scalarParam("s", "time constant of the mean of the measured top pressure", {30}))            \
    X(schedule_exponent, read,                                                                     \
      scalarParam(                                                                                 \
          "1", "power of the pressure-drop ratio that scales feedforward_gain (0: unscheduled)",   \
          {0.75}))                                                                                 \
    X(adaptation_rate, read,                                                                       \
      scalarParam(                                                                                 \
          "1/s",                                                                                   \
          "rate at which the feedforward's weights cancel the held pressure's oscillation "        \
          "at the heave frequency (0: the weights stay at feedforward_gain, advance_time)",        \
          {0.01}))                                                                                 \
    X(plant_gain, read,                                                                            \
      scalarParam("Pa",                                                                            \
                  "amplitude of the held pressure per unit amplitude of the opening at the "       \
                  "heave frequency (the tuning's)",                                                \
                  {1.8e6}))                                                                        \
    X(plant_phase, read,                                                                           \
      scalarParam("rad",                                                                           \
                  "phase of the held pressure against the opening at the heave frequency "         \
                  "(the tuning's)",                                                                \
                  {1.0}))

// X(id, unit, meaning, direct feed-through[, role]).
#define TAVREL_COMPENSATOR_INPUTS(X)                                                               \
    X(displacer_velocity_estimate, "m/s", "estimated heave (displacer) velocity, down positive",   \
      false)                                                                                       \
    X(held_pressure, "Pa",                                                                         \
      "pressure held at the setpoint (estimated or measured bottom pressure)", true)               \
    X(choke_opening, "1", "measured choke opening 0 .. 1", true)                                   \
    X(top_pressure, "Pa", "measured top pressure, ahead of the choke", true,                       \
      ::tavrel::PortRole::top_pressure)

// X(id, unit, meaning).
#define TAVREL_COMPENSATOR_OUTPUTS(X) X(choke_setpoint, "1", "commanded choke opening 0 .. 1")

// X(id, unit, meaning).
#define TAVREL_COMPENSATOR_STATES(X)                                                               \
    X(filtered_velocity, "m/s",                                                                    \
      "heave velocity estimate through the resonator at the heave frequency")                      \
    X(quadrature_velocity, "m/s",                                                                  \
      "quarter period ahead of filtered_velocity (its derivative over the frequency)")             \
    X(opening_integral, "1", "mean choke opening held by the pressure feedback")                   \
    X(mean_top_pressure, "Pa", "measured top pressure through a first-order low-pass")             \
    X(feedforward_in_phase, "s/m", "feedforward weight on filtered_velocity")                      \
    X(feedforward_quadrature, "s/m", "feedforward weight on quadrature_velocity")                  \
    X(pressure_in_phase, "Pa",                                                                     \
      "held pressure's error through the resonator at the heave frequency")                        \
    X(pressure_quadrature, "Pa", "quarter period ahead of pressure_in_phase")

namespace tavrel::compensator {

namespace param {
enum : int {
    TAVREL_INDICES(TAVREL_COMPENSATOR_PARAMS) count,
    // mdlInitializeSizes reads no parameter.
    last_read_by_sizes = -1
};
} // namespace param

namespace input {
enum : int { TAVREL_INDICES(TAVREL_COMPENSATOR_INPUTS) count };
}

namespace output {
enum : int { TAVREL_INDICES(TAVREL_COMPENSATOR_OUTPUTS) count };
}

namespace state {
TAVREL_INDEX_ENUM_FROM(0, TAVREL_COMPENSATOR_STATES);
}

// Integer work: armed by the initialisation, cleared by the first outputs call, which sets
// the integral so that the first setpoint equals the choke's present opening.
namespace iwork {
constexpr int first_output_flag = 0;
constexpr int count = 1;
} // namespace iwork

// The parameters as one method call reads them from the host; read afresh at the start of
// every method call, nothing survives the call.
struct CompensatorParams {
    TAVREL_PARAM_MEMBERS(TAVREL_COMPENSATOR_PARAMS)

    static CompensatorParams read(const SimStruct* S) {
        CompensatorParams p;
        TAVREL_READ_PARAMS(TAVREL_COMPENSATOR_PARAMS)
        return p;
    }
};

namespace declared {
using enum ParamUse;
inline constexpr auto params = TAVREL_PARAM_DESCRIPTIONS(TAVREL_COMPENSATOR_PARAMS);
} // namespace declared

inline constexpr auto inputs = TAVREL_PORT_DESCRIPTIONS(TAVREL_COMPENSATOR_INPUTS);
inline constexpr auto outputs = TAVREL_PORT_DESCRIPTIONS(TAVREL_COMPENSATOR_OUTPUTS);
inline constexpr auto states = TAVREL_STATE_DESCRIPTIONS(0, TAVREL_COMPENSATOR_STATES);

// The order is the order problems are reported in.
inline constexpr ParamRule rules[] = {
    {ParamRule::Kind::positive, param::displacer_frequency},
    {ParamRule::Kind::positive, param::filter_bandwidth},
    {ParamRule::Kind::not_negative, param::proportional_gain},
    {ParamRule::Kind::not_negative, param::integral_gain},
    {ParamRule::Kind::positive, param::anti_windup_time},
    {ParamRule::Kind::above, param::tuning_top_pressure, param::downstream_pressure},
    {ParamRule::Kind::positive, param::top_pressure_filter_time},
    {ParamRule::Kind::not_negative, param::schedule_exponent},
    {ParamRule::Kind::not_negative, param::adaptation_rate},
    {ParamRule::Kind::positive, param::plant_gain},
};

inline constexpr BlockDescription description = {
    .name = "heave_compensator",
    .meaning = "choke setpoint that cancels the heave's pressure swing and holds the mean pressure",
    .params = declared::params,
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

} // namespace tavrel::compensator
