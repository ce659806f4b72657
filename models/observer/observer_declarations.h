// `tavrel_observer`: its dialog parameters, ports, states and rules, declared once, and the
// parameter reader made from them. A parameter that plays the same role as in the rig models
// is the shared declaration; the dialog positions are the observer's own. Defaults: the
// observer of the shipped default study, tuned on its well (the innovation drives the
// displacer oscillator only; no wave corrections).
#pragma once

#include "wave_invariants.h"
#include "wave_physics.h"
#include "well_declarations.h"

// X(id, use, declaration).
#define TAVREL_OBSERVER_PARAMS(X)                                                                  \
    X(annulus_area, read, well::annulus_area)                                                      \
    X(density_ref, read, well::density_ref)                                                        \
    X(pressure_ref, read,                                                                          \
      withMeaning(well::pressure_ref,                                                              \
                  "reference pressure of the equation of state of the initial profile"))           \
    X(friction_linear, read, well::friction_linear)                                                \
    X(friction_quadratic, read, well::friction_quadratic)                                          \
    X(sound_speed, read, well::sound_speed)                                                        \
    X(invariant_pressure_ref, read, well::invariant_pressure_ref)                                  \
    X(invariant_velocity_ref, read, well::invariant_velocity_ref)                                  \
    X(initial_top_pressure, read, well::initial_top_pressure)                                      \
    X(annulus_length, read, well::annulus_length)                                                  \
    X(unused, ignored, gapParam("read by no method")) /* keeps the dialog's layout */              \
    X(inclination, read, well::inclination)                                                        \
    X(displacer_depth, read, well::displacer_depth)                                                \
    X(displacer_area_outer, read, well::displacer_area_outer)                                      \
    X(displacer_area_inner, read, well::displacer_area_inner)                                      \
    X(displacer_loss_linear, read, well::displacer_loss_linear)                                    \
    X(displacer_loss_quadratic, read, well::displacer_loss_quadratic)                              \
    X(num_fixed_outputs, read, withDefault(well::num_fixed_outputs, {6}))                          \
    X(sensor_positions, read, well::sensor_positions)                                              \
    X(gain_profile_up, read,                                                                       \
      vectorParam("1/s",                                                                           \
                  "correction gains of w_up at equally spaced distances from the bottom to "       \
                  "the top",                                                                       \
                  {0, 0}))                                                                         \
    X(gain_profile_down, read,                                                                     \
      vectorParam("1/s",                                                                           \
                  "correction gains of w_down at equally spaced distances from the bottom to "     \
                  "the top",                                                                       \
                  {0, 0}))                                                                         \
    X(displacer_quadrature_gain, read,                                                             \
      scalarParam("1/m.s", "innovation gain of the oscillator's quadrature state", {8}))           \
    X(displacer_velocity_gain, read,                                                               \
      scalarParam("1/m.s", "innovation gain of the displacer velocity estimate", {1}))             \
    X(displacer_frequency, read,                                                                   \
      scalarParam("rad/s", "angular frequency of the displacer oscillator", {0.5235987755982988}))

// X(id, unit, meaning, direct feed-through[, role]).
#define TAVREL_OBSERVER_INPUTS(X)                                                                  \
    X(measured_top_flow, "m3/s", "measured flow out at the top", true)                             \
    X(measured_top_pressure, "Pa", "measured pressure at the top", true,                           \
      ::tavrel::PortRole::top_pressure)

// X(id, unit, meaning[, feed-through, role]).
#define TAVREL_OBSERVER_OUTPUTS(X)                                                                 \
    X(bottom_pressure, "Pa", "estimated pressure at the bottom")                                   \
    X(displacer_pressure, "Pa", "estimated pressure at the displacer")                             \
    X(top_pressure, "Pa", "estimated pressure at the top")                                         \
    X(top_flow, "m3/s", "estimated flow out at the top")                                           \
    X(bottom_flow, "m3/s", "estimated flow into the annulus at the bottom")                        \
    X(displacer_velocity_estimate, "m/s", "estimated displacer velocity", false,                   \
      ::tavrel::PortRole::displacer_velocity_estimate)

// X(id, unit, meaning). `unused_state` is carried for the host but never initialised, read or
// given a derivative by the block; a host that zero-fills the derivative vector keeps it
// constant.
#define TAVREL_OBSERVER_STATES(X)                                                                  \
    X(unused_state, "", "carried for the host; never set or read")                                 \
    X(displacer_quadrature, "m/s", "second state of the displacer oscillator")                     \
    X(displacer_velocity_estimate, "m/s", "estimated displacer velocity")

namespace tavrel::observer {

namespace param {
enum : int {
    TAVREL_INDICES(TAVREL_OBSERVER_PARAMS) count,
    // mdlInitializeSizes reads parameters up to this index.
    last_read_by_sizes = sensor_positions
};
} // namespace param

namespace input {
enum : int { TAVREL_INDICES(TAVREL_OBSERVER_INPUTS) count };
}

namespace output {
enum : int { TAVREL_INDICES(TAVREL_OBSERVER_OUTPUTS) fixed_count };
}

// Continuous states: the two invariants on the 20-cell grid and the displacer oscillator.
namespace state {
constexpr int cells = 20;
constexpr int w_up = 0;       // w_up[k] belongs to grid point k+1
constexpr int w_down = cells; // w_down[k] belongs to grid point k
TAVREL_INDEX_ENUM_FROM(2 * cells, TAVREL_OBSERVER_STATES);
} // namespace state

// The parameters as one method call reads them from the host; read afresh at the start of
// every method call, nothing survives the call.
struct ObserverParams {
    TAVREL_PARAM_MEMBERS(TAVREL_OBSERVER_PARAMS)

    static ObserverParams read(const SimStruct* S) {
        ObserverParams p;
        TAVREL_READ_PARAMS(TAVREL_OBSERVER_PARAMS)
        return p;
    }

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

namespace declared {
using enum ParamUse;
inline constexpr auto params = TAVREL_PARAM_DESCRIPTIONS(TAVREL_OBSERVER_PARAMS);
} // namespace declared

inline constexpr auto inputs = TAVREL_PORT_DESCRIPTIONS(TAVREL_OBSERVER_INPUTS);
inline constexpr auto outputs = TAVREL_PORT_DESCRIPTIONS(TAVREL_OBSERVER_OUTPUTS);
inline constexpr auto states = TAVREL_STATE_DESCRIPTIONS(2 * state::cells, TAVREL_OBSERVER_STATES);

// The order is the order problems are reported in.
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
    .params = declared::params,
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

} // namespace tavrel::observer
