// The dialog parameters, ports and rules of the rig models `tavrel`, `tavrel_piston` and
// `tavrel_linear`, declared once, and the parameter reader made from them. Defaults: a vertical
// 3000 m well with four pressure sensors and a six-point choke table, as in the shipped
// scenarios. Each block's own declarations add its states after the two wave families.
#pragma once

#include "wave_physics.h"
#include "well_declarations.h"

// X(id, use, declaration). `use` says which rig model reads the parameter: the chamber and
// passage parameters are the piston block's; it takes its displacer losses from the passage.
#define TAVREL_RIG_PARAMS(X)                                                                       \
    X(annulus_area, all, well::annulus_area)                                                       \
    X(density_ref, all, well::density_ref)                                                         \
    X(pressure_ref, all, well::pressure_ref)                                                       \
    X(friction_linear, all, well::friction_linear)                                                 \
    X(friction_quadratic, all, well::friction_quadratic)                                           \
    X(sound_speed, all, well::sound_speed)                                                         \
    X(invariant_pressure_ref, all, well::invariant_pressure_ref)                                   \
    X(invariant_velocity_ref, all, well::invariant_velocity_ref)                                   \
    X(downstream_pressure, all, scalarParam("Pa", "pressure behind the choke", {1e5}))             \
    X(initial_top_pressure, all, well::initial_top_pressure)                                       \
    X(choke_stroke_time, all,                                                                      \
      scalarParam("s", "time the choke actuator takes from closed to open", {10}))                 \
    X(choke_density, all, scalarParam("kg/m3", "fluid density at the choke", {1300}))              \
    X(inclination, all, well::inclination)                                                         \
    X(displacer_depth, all, well::displacer_depth)                                                 \
    X(displacer_area_outer, all, well::displacer_area_outer)                                       \
    X(displacer_area_inner, all, well::displacer_area_inner)                                       \
    X(displacer_loss_linear, not_piston, well::displacer_loss_linear)                              \
    X(displacer_loss_quadratic, not_piston, well::displacer_loss_quadratic)                        \
    X(annulus_length, all, well::annulus_length)                                                   \
    X(num_fixed_outputs, all, well::num_fixed_outputs)                                             \
    X(sensor_positions, all, well::sensor_positions)                                               \
    X(choke_characteristic, all,                                                                   \
      vectorParam("m2", "effective choke area at equally spaced openings 0 .. 1",                  \
                  {0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3}))                                            \
    X(passage_length, piston_only,                                                                 \
      scalarParam("m", "length of the passage between chambers", {2000}))                          \
    X(passage_area_inner, piston_only,                                                             \
      scalarParam("m2", "inner cross-section of the passage", {0.02}))                             \
    X(passage_area_outer, piston_only,                                                             \
      scalarParam("m2", "outer cross-section of the passage", {0.05}))                             \
    X(passage_friction_linear, piston_only,                                                        \
      scalarParam("1/s", "passage friction per unit velocity", {0.5}))                             \
    X(passage_friction_quadratic, piston_only,                                                     \
      scalarParam("1/m", "passage friction per squared velocity", {0.2}))                          \
    X(chamber_bulk_modulus, piston_only,                                                           \
      scalarParam("Pa", "bulk modulus of the fluid in the chambers", {1.5e9}))

// X(id, unit, meaning, direct feed-through[, role]).
#define TAVREL_RIG_INPUTS(X)                                                                       \
    X(choke_setpoint, "1", "commanded choke opening 0 .. 1", false)                                \
    X(displacer_velocity, "m/s", "velocity of the displacer, down positive", true,                 \
      ::tavrel::PortRole::displacer_velocity)                                                      \
    X(injection_flow, "m3/s", "back-pressure pump flow ahead of the choke", true)

// X(id, unit, meaning[, feed-through, role]). The piston block reports the bottom velocity on
// `bottom_flow`.
#define TAVREL_RIG_OUTPUTS(X)                                                                      \
    X(bottom_pressure, "Pa", "pressure at the bottom", false, ::tavrel::PortRole::bottom_pressure) \
    X(choke_flow, "m3/s", "flow through the choke")                                                \
    X(choke_pressure, "Pa", "pressure ahead of the choke")                                         \
    X(choke_opening, "1", "choke actuator position 0 .. 1")                                        \
    X(displacer_pressure, "Pa", "pressure at the displacer")                                       \
    X(bottom_flow, bottom_flow_unit, "flow into the annulus at the bottom")                        \
    X(top_flow, "m3/s", "flow out of the annulus at the top")

namespace tavrel::rig {

namespace param {
enum : int {
    TAVREL_INDICES(TAVREL_RIG_PARAMS) count,
    // mdlInitializeSizes reads parameters up to this index.
    last_read_by_sizes = sensor_positions
};
} // namespace param

namespace input {
enum : int { TAVREL_INDICES(TAVREL_RIG_INPUTS) count };
}

namespace output {
enum : int { TAVREL_INDICES(TAVREL_RIG_OUTPUTS) fixed_count };
}

// The states of the 150-cell rig models (`tavrel`, `tavrel_piston`) that the shared annulus
// writes: the wave families and, after them, the choke actuator (each block's `choke_opening`).
namespace state {
constexpr int cells = 150;
constexpr int w_up = 0;       // w_up[k] belongs to grid point k+1
constexpr int w_down = cells; // w_down[k] belongs to grid point k
constexpr int choke_actuator = 2 * cells;
} // namespace state

// Integer work element 0 of every rig model.
constexpr int first_output_flag = 0;

enum class RigVariant { annulus, piston };

constexpr auto rigParams(RigVariant variant) {
    const ParamUse all = ParamUse::read;
    const ParamUse piston_only = variant == RigVariant::piston ? ParamUse::read : ParamUse::ignored;
    const ParamUse not_piston = variant == RigVariant::piston ? ParamUse::ignored : ParamUse::read;
    return TAVREL_PARAM_DESCRIPTIONS(TAVREL_RIG_PARAMS);
}

constexpr auto rigOutputs(RigVariant variant) {
    const std::string_view bottom_flow_unit = variant == RigVariant::piston ? "m/s" : "m3/s";
    return TAVREL_PORT_DESCRIPTIONS(TAVREL_RIG_OUTPUTS);
}

inline constexpr auto annulus_params = rigParams(RigVariant::annulus);
inline constexpr auto annulus_outputs = rigOutputs(RigVariant::annulus);
inline constexpr auto inputs = TAVREL_PORT_DESCRIPTIONS(TAVREL_RIG_INPUTS);

inline constexpr PortDescription sensor_output = {0, "sensor_pressure", "Pa",
                                                  "pressure at a sensor position"};

// Rules of every rig model; a rule on a parameter the block does not read is not applied. The
// order is the order problems are reported in.
inline constexpr ParamRule common_rules[] = {
    {ParamRule::Kind::positive, param::annulus_area},
    {ParamRule::Kind::positive, param::annulus_length},
    {ParamRule::Kind::positive, param::density_ref},
    {ParamRule::Kind::positive, param::sound_speed},
    {ParamRule::Kind::positive, param::choke_density},
    {ParamRule::Kind::positive, param::choke_stroke_time},
    {ParamRule::Kind::positive, param::passage_length},
    {ParamRule::Kind::positive, param::chamber_bulk_modulus},
    {ParamRule::Kind::not_negative, param::displacer_area_outer},
    {ParamRule::Kind::not_negative, param::displacer_area_inner},
    {ParamRule::Kind::not_negative, param::displacer_depth},
    {ParamRule::Kind::entries_within, param::sensor_positions, param::annulus_length},
    {ParamRule::Kind::table_from_zero, param::choke_characteristic, -1, 2},
    {ParamRule::Kind::above, param::initial_top_pressure, param::downstream_pressure},
};

// The rig parameters as one call reads them from the host; read afresh at the start of every
// method call, nothing survives the call.
struct RigParams {
    TAVREL_PARAM_MEMBERS(TAVREL_RIG_PARAMS)

    static RigParams read(const SimStruct* S) {
        RigParams p;
        TAVREL_READ_PARAMS(TAVREL_RIG_PARAMS)
        return p;
    }

    // K: c^2*density = K + pressure.
    double stateOffset() const { return (sound_speed * sound_speed) * density_ref - pressure_ref; }
    HydrostaticInputs hydrostatics() const {
        return {annulus_length, sound_speed,          density_ref,
                pressure_ref,   initial_top_pressure, inclination};
    }
};

} // namespace tavrel::rig
