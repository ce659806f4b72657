// The rig models' dialog parameters, ports and rules, shared by `tavrel`, `tavrel_piston` and
// `tavrel_linear`, and the description of `tavrel` itself. Defaults: a vertical 3000 m well
// with four pressure sensors and a six-point choke table, as in the shipped scenarios.
#pragma once

#include "block_description.h"
#include "rig_vocabulary.h"
#include "well_parameters.h"

namespace tavrel::rig {

// Which rig model reads the parameter set: the chamber and passage parameters are the piston
// block's; the piston block takes its displacer losses from the passage instead.
enum class RigVariant { annulus, piston };

constexpr std::array<ParamDescription, param::count> rigParams(RigVariant variant) {
    using enum ParamShape;
    const ParamUse piston_only = variant == RigVariant::piston ? ParamUse::read : ParamUse::ignored;
    const ParamUse not_piston = variant == RigVariant::piston ? ParamUse::ignored : ParamUse::read;
    return {{
        at(param::annulus_area, well::annulus_area),
        at(param::density_ref, well::density_ref),
        at(param::pressure_ref, well::pressure_ref),
        at(param::friction_linear, well::friction_linear),
        at(param::friction_quadratic, well::friction_quadratic),
        at(param::sound_speed, well::sound_speed),
        at(param::invariant_pressure_ref, well::invariant_pressure_ref),
        at(param::invariant_velocity_ref, well::invariant_velocity_ref),
        {param::downstream_pressure, "downstream_pressure", "Pa", "pressure behind the choke",
         scalar, {1e5}},
        at(param::initial_top_pressure, well::initial_top_pressure),
        {param::choke_stroke_time, "choke_stroke_time", "s",
         "time the choke actuator takes from closed to open", scalar, {10}},
        {param::choke_density, "choke_density", "kg/m3", "fluid density at the choke", scalar,
         {1300}},
        at(param::inclination, well::inclination),
        at(param::displacer_depth, well::displacer_depth),
        at(param::displacer_area_outer, well::displacer_area_outer),
        at(param::displacer_area_inner, well::displacer_area_inner),
        at(param::displacer_loss_linear, well::displacer_loss_linear, not_piston),
        at(param::displacer_loss_quadratic, well::displacer_loss_quadratic, not_piston),
        at(param::annulus_length, well::annulus_length),
        at(param::num_fixed_outputs, well::num_fixed_outputs),
        at(param::sensor_positions, well::sensor_positions),
        {param::choke_characteristic, "choke_characteristic", "m2",
         "effective choke area at equally spaced openings 0 .. 1", vector,
         {0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3}},
        {param::passage_length, "passage_length", "m", "length of the passage between chambers",
         scalar, {2000}, piston_only},
        {param::passage_area_inner, "passage_area_inner", "m2", "inner cross-section of the passage",
         scalar, {0.02}, piston_only},
        {param::passage_area_outer, "passage_area_outer", "m2", "outer cross-section of the passage",
         scalar, {0.05}, piston_only},
        {param::passage_friction_linear, "passage_friction_linear", "1/s",
         "passage friction per unit velocity", scalar, {0.5}, piston_only},
        {param::passage_friction_quadratic, "passage_friction_quadratic", "1/m",
         "passage friction per squared velocity", scalar, {0.2}, piston_only},
        {param::chamber_bulk_modulus, "chamber_bulk_modulus", "Pa",
         "bulk modulus of the fluid in the chambers", scalar, {1.5e9}, piston_only},
    }};
}

inline constexpr auto annulus_params = rigParams(RigVariant::annulus);

inline constexpr PortDescription inputs[input::count] = {
    {input::choke_setpoint, "choke_setpoint", "1", "commanded choke opening 0 .. 1"},
    {input::displacer_velocity, "displacer_velocity", "m/s", "velocity of the displacer, down positive",
     true},
    {input::injection_flow, "injection_flow", "m3/s", "back-pressure pump flow ahead of the choke",
     true},
};

inline constexpr PortDescription sensor_output = {0, "sensor_pressure", "Pa",
                                                  "pressure at a sensor position"};

// The piston block reports the bottom velocity on the bottom-flow port (its own unit).
constexpr std::array<PortDescription, output::fixed_count> rigOutputs(RigVariant variant) {
    const std::string_view bottom_unit = variant == RigVariant::piston ? "m/s" : "m3/s";
    return {{
        {output::bottom_pressure, "bottom_pressure", "Pa", "pressure at the bottom"},
        {output::choke_flow, "choke_flow", "m3/s", "flow through the choke"},
        {output::choke_pressure, "choke_pressure", "Pa", "pressure ahead of the choke"},
        {output::choke_opening, "choke_opening", "1", "choke actuator position 0 .. 1"},
        {output::displacer_pressure, "displacer_pressure", "Pa", "pressure at the displacer"},
        {output::bottom_flow, "bottom_flow", bottom_unit, "flow into the annulus at the bottom"},
        {output::top_flow, "top_flow", "m3/s", "flow out of the annulus at the top"},
    }};
}

inline constexpr auto annulus_outputs = rigOutputs(RigVariant::annulus);

// Rules of every rig model; a rule on a parameter the block does not read is not applied.
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

inline constexpr StateDescription states[] = {
    {state::choke_opening, "choke_opening", "1", "choke actuator position",
     StateRole::choke_opening},
    {state::bottom_velocity_lag, "bottom_velocity_lag", "m/s", "lagged velocity at the bottom"},
};

inline constexpr BlockDescription description = {
    .name = "tavrel",
    .meaning = "annulus of 150 cells with choke, displacer and back-pressure pump",
    .params = annulus_params,
    .inputs = inputs,
    .fixed_outputs = annulus_outputs,
    .sensor_output = sensor_output,
    .num_fixed_outputs_param = param::num_fixed_outputs,
    .sensor_positions_param = param::sensor_positions,
    .min_outputs = output::fixed_count,
    .cells = state::cells,
    .extra_states = states,
    .rules = common_rules,
};

static_assert(isConsistent(description));
static_assert(description.paramCount() == param::count &&
              description.inputs.size() == input::count &&
              description.stateCount() == state::count);

} // namespace tavrel::rig
