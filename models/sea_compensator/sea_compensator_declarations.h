// `sea_compensator`: its dialog parameters, ports, states and rules, declared once, and the
// parameter reader made from them. Defaults: the design for the default well
// (`tavrel design scenarios/heave_compensation_sea.toml`).
#pragma once

#include "block_declarations.h"

#include <string>

// X(id, use, declaration).
#define TAVREL_SEA_COMPENSATOR_PARAMS(X)                                                           \
    X(basis_pole, read,                                                                            \
      scalarParam("rad/s",                                                                         \
                  "pole of the Laguerre filter that turns the heave into the feedforward", {0.5})) \
    X(filter_weights, read,                                                                        \
      vectorParam("1",                                                                             \
                  "weights of the Laguerre functions 0 .. 63 (relative change of the choke's "     \
                  "area per unit of the heave measurement), one row of equal length per schedule " \
                  "period, the rows one after another; missing ones are 0",                        \
                  {0.0, 0.0}))                                                                     \
    X(choke_characteristic, read,                                                                  \
      vectorParam("m2",                                                                            \
                  "the choke's effective area at equally spaced openings 0 .. 1 (the rig's "       \
                  "choke_characteristic): the feedforward moves the area, not the opening",        \
                  {0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3}))                                            \
    X(mean_time, read,                                                                             \
      scalarParam("s",                                                                             \
                  "time constant of the mean taken out of the heave measurement (a sensor's "      \
                  "offset, a pressure's mean)",                                                    \
                  {60}))                                                                           \
    X(schedule_periods, read,                                                                      \
      vectorParam("s",                                                                             \
                  "the heave's mean period, as the block estimates it, each row of "               \
                  "filter_weights was designed for, ascending; between them the weights are "      \
                  "interpolated, beyond them the nearer row holds",                                \
                  {6.0, 24.0}))                                                                    \
    X(displacement_time, read,                                                                     \
      scalarParam("s",                                                                             \
                  "time constant of the leaky integral that turns the heave measurement into "     \
                  "the displacement of the period estimate",                                       \
                  {30}))                                                                           \
    X(stroke_time, read,                                                                           \
      scalarParam("s",                                                                             \
                  "the choke's stroke time: its rate limit is 1/stroke_time and its lag "          \
                  "0.1*stroke_time",                                                               \
                  {10}))                                                                           \
    X(rate_fraction, read,                                                                         \
      scalarParam("1",                                                                             \
                  "RMS rate of the feedforward's opening allowed, as a fraction of the rate "      \
                  "limit; above it the feedforward is scaled down",                                \
                  {0.45}))                                                                         \
    X(swing_fraction, read,                                                                        \
      scalarParam("1",                                                                             \
                  "RMS of the feedforward's opening allowed, as a fraction of the mean "           \
                  "opening's distance to the nearer end; above it the feedforward is scaled down", \
                  {0.33}))                                                                         \
    X(averaging_time, read,                                                                        \
      scalarParam("s", "time constant of the mean squares that the back-off compares", {60}))      \
    X(pressure_setpoint, read, scalarParam("Pa", "mean pressure to hold", {412e5}))                \
    X(proportional_gain, read,                                                                     \
      scalarParam("1/Pa", "choke opening per unit of pressure above the setpoint", {0.0}))         \
    X(integral_gain, read,                                                                         \
      scalarParam("1/Pa.s", "rate of the choke opening per unit of pressure above the setpoint",   \
                  {2e-9}))                                                                         \
    X(anti_windup_time, read,                                                                      \
      scalarParam("s", "time constant that pulls the integral back while the setpoint is limited", \
                  {10}))

// X(id, unit, meaning, direct feed-through).
#define TAVREL_SEA_COMPENSATOR_INPUTS(X)                                                           \
    X(heave_measurement, "1",                                                                      \
      "measured heave: the rig's heave velocity [m/s], or a signal that carries it", false)        \
    X(heave_reference, "1",                                                                        \
      "subtracted from heave_measurement (0, or a model's prediction of it without the heave)",    \
      false)                                                                                       \
    X(held_pressure, "Pa",                                                                         \
      "pressure held at the setpoint (estimated or measured bottom pressure)", true)               \
    X(choke_opening, "1", "measured choke opening 0 .. 1", true)

// X(id, unit, meaning).
#define TAVREL_SEA_COMPENSATOR_OUTPUTS(X)                                                          \
    X(choke_setpoint, "1", "commanded choke opening 0 .. 1")                                       \
    X(feedforward_scale, "1", "factor 0 .. 1 the back-off applies to the feedforward")             \
    X(heave_period, "s", "the heave's mean period, 2*pi*sqrt(displacement_power/measurement_power)")

// X(id, unit, meaning).
#define TAVREL_SEA_COMPENSATOR_STATES(X)                                                           \
    X(laguerre_0, "1", "Laguerre state 0: the heave through sqrt(2a)/(s + a)")                     \
    X(laguerre_1, "1", "Laguerre state 1: state 0 through (s - a)/(s + a)")                        \
    X(laguerre_2, "1", "Laguerre state 2")                                                         \
    X(laguerre_3, "1", "Laguerre state 3")                                                         \
    X(laguerre_4, "1", "Laguerre state 4")                                                         \
    X(laguerre_5, "1", "Laguerre state 5")                                                         \
    X(laguerre_6, "1", "Laguerre state 6")                                                         \
    X(laguerre_7, "1", "Laguerre state 7")                                                         \
    X(laguerre_8, "1", "Laguerre state 8")                                                         \
    X(laguerre_9, "1", "Laguerre state 9")                                                         \
    X(laguerre_10, "1", "Laguerre state 10")                                                       \
    X(laguerre_11, "1", "Laguerre state 11")                                                       \
    X(laguerre_12, "1", "Laguerre state 12")                                                       \
    X(laguerre_13, "1", "Laguerre state 13")                                                       \
    X(laguerre_14, "1", "Laguerre state 14")                                                       \
    X(laguerre_15, "1", "Laguerre state 15")                                                       \
    X(laguerre_16, "1", "Laguerre state 16")                                                       \
    X(laguerre_17, "1", "Laguerre state 17")                                                       \
    X(laguerre_18, "1", "Laguerre state 18")                                                       \
    X(laguerre_19, "1", "Laguerre state 19")                                                       \
    X(laguerre_20, "1", "Laguerre state 20")                                                       \
    X(laguerre_21, "1", "Laguerre state 21")                                                       \
    X(laguerre_22, "1", "Laguerre state 22")                                                       \
    X(laguerre_23, "1", "Laguerre state 23")                                                       \
    X(laguerre_24, "1", "Laguerre state 24")                                                       \
    X(laguerre_25, "1", "Laguerre state 25")                                                       \
    X(laguerre_26, "1", "Laguerre state 26")                                                       \
    X(laguerre_27, "1", "Laguerre state 27")                                                       \
    X(laguerre_28, "1", "Laguerre state 28")                                                       \
    X(laguerre_29, "1", "Laguerre state 29")                                                       \
    X(laguerre_30, "1", "Laguerre state 30")                                                       \
    X(laguerre_31, "1", "Laguerre state 31")                                                       \
    X(laguerre_32, "1", "Laguerre state 32")                                                       \
    X(laguerre_33, "1", "Laguerre state 33")                                                       \
    X(laguerre_34, "1", "Laguerre state 34")                                                       \
    X(laguerre_35, "1", "Laguerre state 35")                                                       \
    X(laguerre_36, "1", "Laguerre state 36")                                                       \
    X(laguerre_37, "1", "Laguerre state 37")                                                       \
    X(laguerre_38, "1", "Laguerre state 38")                                                       \
    X(laguerre_39, "1", "Laguerre state 39")                                                       \
    X(laguerre_40, "1", "Laguerre state 40")                                                       \
    X(laguerre_41, "1", "Laguerre state 41")                                                       \
    X(laguerre_42, "1", "Laguerre state 42")                                                       \
    X(laguerre_43, "1", "Laguerre state 43")                                                       \
    X(laguerre_44, "1", "Laguerre state 44")                                                       \
    X(laguerre_45, "1", "Laguerre state 45")                                                       \
    X(laguerre_46, "1", "Laguerre state 46")                                                       \
    X(laguerre_47, "1", "Laguerre state 47")                                                       \
    X(laguerre_48, "1", "Laguerre state 48")                                                       \
    X(laguerre_49, "1", "Laguerre state 49")                                                       \
    X(laguerre_50, "1", "Laguerre state 50")                                                       \
    X(laguerre_51, "1", "Laguerre state 51")                                                       \
    X(laguerre_52, "1", "Laguerre state 52")                                                       \
    X(laguerre_53, "1", "Laguerre state 53")                                                       \
    X(laguerre_54, "1", "Laguerre state 54")                                                       \
    X(laguerre_55, "1", "Laguerre state 55")                                                       \
    X(laguerre_56, "1", "Laguerre state 56")                                                       \
    X(laguerre_57, "1", "Laguerre state 57")                                                       \
    X(laguerre_58, "1", "Laguerre state 58")                                                       \
    X(laguerre_59, "1", "Laguerre state 59")                                                       \
    X(laguerre_60, "1", "Laguerre state 60")                                                       \
    X(laguerre_61, "1", "Laguerre state 61")                                                       \
    X(laguerre_62, "1", "Laguerre state 62")                                                       \
    X(laguerre_63, "1", "Laguerre state 63")                                                       \
    X(opening_integral, "1", "mean choke opening held by the pressure feedback")                   \
    X(lagged_move, "1", "the feedforward's opening move through the choke's lag")                  \
    X(rate_power, "1/s2", "mean square of the lagged move's rate")                                 \
    X(swing_power, "1", "mean square of the feedforward's opening move")                           \
    X(measurement_mean, "1", "mean of the heave measurement")                                      \
    X(heave_displacement, "1.s", "leaky integral of the heave measurement")                        \
    X(measurement_power, "1", "mean square of the heave measurement")                              \
    X(displacement_power, "1.s2", "mean square of heave_displacement")

namespace tavrel::sea_compensator {

namespace param {
enum : int {
    TAVREL_INDICES(TAVREL_SEA_COMPENSATOR_PARAMS) count,
    // mdlInitializeSizes reads no parameter.
    last_read_by_sizes = -1
};
} // namespace param

namespace input {
enum : int { TAVREL_INDICES(TAVREL_SEA_COMPENSATOR_INPUTS) count };
}

namespace output {
enum : int { TAVREL_INDICES(TAVREL_SEA_COMPENSATOR_OUTPUTS) count };
}

namespace state {
TAVREL_INDEX_ENUM_FROM(0, TAVREL_SEA_COMPENSATOR_STATES);
constexpr int filter_order = opening_integral - laguerre_0;
} // namespace state

// Integer work: armed by the initialisation, cleared by the first outputs call, which sets
// the integral so that the first setpoint equals the choke's present opening.
namespace iwork {
constexpr int first_output_flag = 0;
constexpr int count = 1;
} // namespace iwork

// The parameters as one method call reads them from the host; read afresh at the start of
// every method call, nothing survives the call.
struct SeaCompensatorParams {
    TAVREL_PARAM_MEMBERS(TAVREL_SEA_COMPENSATOR_PARAMS)

    static SeaCompensatorParams read(const SimStruct* S) {
        SeaCompensatorParams p;
        TAVREL_READ_PARAMS(TAVREL_SEA_COMPENSATOR_PARAMS)
        return p;
    }
};

namespace declared {
using enum ParamUse;
inline constexpr auto params = TAVREL_PARAM_DESCRIPTIONS(TAVREL_SEA_COMPENSATOR_PARAMS);
} // namespace declared

inline constexpr auto inputs = TAVREL_PORT_DESCRIPTIONS(TAVREL_SEA_COMPENSATOR_INPUTS);
inline constexpr auto outputs = TAVREL_PORT_DESCRIPTIONS(TAVREL_SEA_COMPENSATOR_OUTPUTS);
inline constexpr auto states = TAVREL_STATE_DESCRIPTIONS(0, TAVREL_SEA_COMPENSATOR_STATES);

// The weights fill one row per schedule period, and each row has a state per weight: more
// weights than states have nowhere to go.
inline std::string weightCountRule(const ParamSet& params) {
    const auto count = params[static_cast<size_t>(param::filter_weights)].size();
    const auto rows = params[static_cast<size_t>(param::schedule_periods)].size();
    if (rows == 0) return {}; // schedule_periods' own rule reports it
    if (count % rows != 0)
        return "must hold one row of equal length per schedule period: " + std::to_string(count) +
               " entries for " + std::to_string(rows) + " periods";
    if (count / rows <= static_cast<size_t>(state::filter_order)) return {};
    return "must have at most " + std::to_string(state::filter_order) + " entries a row, has " +
           std::to_string(count / rows);
}

// Interpolation needs the periods in order and apart.
inline std::string schedulePeriodsRule(const ParamSet& params) {
    const auto& periods = params[static_cast<size_t>(param::schedule_periods)];
    if (periods.empty()) return "must have at least one entry";
    for (size_t k = 0; k < periods.size(); ++k) {
        if (!(periods[k] > 0)) return "entry " + std::to_string(k + 1) + " must be > 0";
        if (k > 0 && !(periods[k] > periods[k - 1]))
            return "must be ascending: entry " + std::to_string(k + 1) + " is not above entry " +
                   std::to_string(k);
    }
    return {};
}

// The order is the order problems are reported in.
inline constexpr ParamRule rules[] = {
    {ParamRule::Kind::positive, param::basis_pole},
    {ParamRule::Kind::custom, param::schedule_periods, -1, 0, &schedulePeriodsRule},
    {ParamRule::Kind::custom, param::filter_weights, -1, 0, &weightCountRule},
    {ParamRule::Kind::table_from_zero, param::choke_characteristic, -1, 2},
    {ParamRule::Kind::positive, param::mean_time},
    {ParamRule::Kind::positive, param::displacement_time},
    {ParamRule::Kind::positive, param::stroke_time},
    {ParamRule::Kind::positive, param::rate_fraction},
    {ParamRule::Kind::positive, param::swing_fraction},
    {ParamRule::Kind::positive, param::averaging_time},
    {ParamRule::Kind::not_negative, param::proportional_gain},
    {ParamRule::Kind::not_negative, param::integral_gain},
    {ParamRule::Kind::positive, param::anti_windup_time},
};

inline constexpr BlockDescription description = {
    .name = "sea_compensator",
    .meaning = "choke setpoint from a broadband feedforward on the measured heave that backs off "
               "where the choke cannot follow, holding the mean pressure",
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

} // namespace tavrel::sea_compensator
