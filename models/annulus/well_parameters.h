// The well's and the fluid's dialog parameters that several blocks read, declared once: name,
// unit, meaning, shape and default (the default well: vertical, 3000 m, four sensors). Each
// block's description places them at its own dialog index with `at`.
#pragma once

#include "block_description.h"

namespace tavrel {

struct ParamFacts {
    std::string_view name;
    std::string_view unit;
    std::string_view meaning;
    ParamShape shape;
    DefaultValues defaults;
};

constexpr ParamDescription at(int index, const ParamFacts& facts, ParamUse use = ParamUse::read) {
    return {index, facts.name, facts.unit, facts.meaning, facts.shape, facts.defaults, use};
}

// A block whose role gives a shared parameter another default or a narrower meaning.
constexpr ParamDescription withDefault(ParamDescription p, DefaultValues defaults) {
    p.defaults = defaults;
    return p;
}
constexpr ParamDescription withMeaning(ParamDescription p, std::string_view meaning) {
    p.meaning = meaning;
    return p;
}

namespace well {
using enum ParamShape;
inline constexpr ParamFacts annulus_area{
    "annulus_area", "m2", "cross-section of the annulus", scalar, {0.024}};
inline constexpr ParamFacts density_ref{
    "density_ref", "kg/m3", "fluid density at pressure_ref", scalar, {1300}};
inline constexpr ParamFacts pressure_ref{
    "pressure_ref", "Pa", "reference pressure of the equation of state", scalar, {1e5}};
inline constexpr ParamFacts friction_linear{
    "friction_linear", "1/s", "friction per unit velocity", scalar, {0.1}};
inline constexpr ParamFacts friction_quadratic{
    "friction_quadratic", "1/m", "friction per squared velocity", scalar, {0.17}};
inline constexpr ParamFacts sound_speed{
    "sound_speed", "m/s", "speed of pressure waves in the annulus", scalar, {1000}};
inline constexpr ParamFacts invariant_pressure_ref{"invariant_pressure_ref",
                                                   "Pa",
                                                   "pressure at which the wave invariants are zero",
                                                   scalar,
                                                   {20e5}};
inline constexpr ParamFacts invariant_velocity_ref{
    "invariant_velocity_ref", "m/s", "velocity at which the wave invariants are zero", scalar, {0}};
inline constexpr ParamFacts initial_top_pressure{
    "initial_top_pressure",
    "Pa",
    "pressure at the top of the fluid at rest at the start",
    scalar,
    {20e5}};
inline constexpr ParamFacts annulus_length{
    "annulus_length", "m", "length of the annulus", scalar, {3000}};
inline constexpr ParamFacts inclination{
    "inclination", "rad", "angle of the annulus to the horizontal", scalar, {1.5707963267948966}};
inline constexpr ParamFacts displacer_depth{
    "displacer_depth", "m", "depth of the displacer (string end)", scalar, {3000}};
inline constexpr ParamFacts displacer_area_outer{
    "displacer_area_outer", "m2", "outer cross-section of the displacer", scalar, {0.01267}};
inline constexpr ParamFacts displacer_area_inner{
    "displacer_area_inner", "m2", "inner cross-section of the displacer", scalar, {0}};
inline constexpr ParamFacts displacer_loss_linear{
    "displacer_loss_linear", "Pa.s/m", "displacer pressure loss per unit velocity", scalar, {0}};
inline constexpr ParamFacts displacer_loss_quadratic{"displacer_loss_quadratic",
                                                     "Pa.s2/m2",
                                                     "displacer pressure loss per squared velocity",
                                                     scalar,
                                                     {0}};
inline constexpr ParamFacts num_fixed_outputs{
    "num_fixed_outputs", "1", "outputs before the sensor pressures", scalar, {7}};
inline constexpr ParamFacts sensor_positions{"sensor_positions",
                                             "m",
                                             "distances of the pressure sensors from the bottom",
                                             vector,
                                             {0, 1000, 2000, 3000}};
} // namespace well

} // namespace tavrel
