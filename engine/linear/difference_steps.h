// The steps of the central differences that linearise blocks, one rule for the scenario's
// linearisation and the FMUs' directional derivatives: a variable moves by
// relative * max(|value|, scale), its scale given by its unit, so that one at rest (a
// displacer velocity of 0) still moves by a meaningful amount: velocities and openings by
// O(1) in operation, pressures by bars, flows by tens of litres a second.
//
// Openings move by at least `least`: the rig's choke flow comes from a bisection that stops
// at a relative width of 1e-4, so its flow is a sawtooth of that relative size about the true
// one; an opening step moves the flow by about 5 times its own relative size (the table's
// slope at the default opening), and 2e-3 keeps the sawtooth's share of the difference at
// about 5e-3 while staying inside the table's segment and far from the actuator's rate limit
// (0.1 of a stroke). A unit not in the table (a user's block) takes scale 1.
#pragma once

#include <algorithm>
#include <cmath>
#include <string_view>

namespace tavrel::linear {

// The relative step both use unless told otherwise.
inline constexpr double default_relative_step = 1e-4;

struct UnitStep {
    double scale;
    double least;
};

inline UnitStep unitStep(std::string_view unit) {
    struct Entry {
        std::string_view unit;
        UnitStep step;
    };
    static constexpr Entry steps[] = {
        {"m/s", {1.0, 0.0}},   {"1", {1.0, 2e-3}}, {"Pa", {1e5, 0.0}},
        {"m3/s", {1e-2, 0.0}}, {"m", {1.0, 0.0}},  {"rad/s", {1.0, 0.0}},
    };
    for (const Entry& entry : steps)
        if (entry.unit == unit) return entry.step;
    return {1.0, 0.0};
}

// Step of a central difference for a variable at `value` whose scale is `scale`.
inline double stepSize(double relative, double value, double scale) {
    return relative * std::max(std::fabs(value), scale);
}

inline double unitStepSize(double relative, double value, std::string_view unit) {
    const UnitStep step = unitStep(unit);
    return std::max(stepSize(relative, value, step.scale), step.least);
}

} // namespace tavrel::linear
