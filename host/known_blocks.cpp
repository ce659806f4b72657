#include "known_blocks.h"

#include "rig_vocabulary.h"

#include <cmath>

namespace tavrel::host {

namespace {

// A vertical 3000 m well with four pressure sensors and a six-point choke table; the last six
// values describe the piston block's chambers and passage.
ParamValues defaultWell() {
    return {
        {0.024},                             // annulus_area
        {1300},                              // density_ref
        {1e5},                               // pressure_ref
        {0.1},                               // friction_linear
        {0.17},                              // friction_quadratic
        {1000},                              // sound_speed
        {20e5},                              // invariant_pressure_ref
        {0},                                 // invariant_velocity_ref
        {1e5},                               // downstream_pressure
        {20e5},                              // initial_top_pressure
        {10},                                // choke_stroke_time
        {1300},                              // choke_density
        {M_PI / 2},                          // inclination
        {3000},                              // displacer_depth
        {0.01267},                           // displacer_area_outer
        {0},                                 // displacer_area_inner
        {0},                                 // displacer_loss_linear
        {0},                                 // displacer_loss_quadratic
        {3000},                              // annulus_length
        {7},                                 // num_fixed_outputs
        {0, 1000, 2000, 3000},               // sensor_positions
        {0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3}, // choke_characteristic
        {2000},                              // passage_length
        {0.02},                              // passage_area_inner
        {0.05},                              // passage_area_outer
        {0.5},                               // passage_friction_linear
        {0.2},                               // passage_friction_quadratic
        {1.5e9}                              // chamber_bulk_modulus
    };
}

// The observer of the same well: measured top flow and pressure correct the estimate at about
// one per second along the annulus; the displacer oscillator has a ten-second period.
ParamValues observerWell() {
    return {
        {0.024},               // annulus_area
        {1300},                // density_ref
        {1e5},                 // pressure_ref
        {0.1},                 // friction_linear
        {0.17},                // friction_quadratic
        {1000},                // sound_speed
        {20e5},                // invariant_pressure_ref
        {0},                   // invariant_velocity_ref
        {20e5},                // initial_top_pressure
        {3000},                // annulus_length
        {0},                   // (read by no method)
        {M_PI / 2},            // inclination
        {3000},                // displacer_depth
        {0.01267},             // displacer_area_outer
        {0},                   // displacer_area_inner
        {0},                   // displacer_loss_linear
        {0},                   // displacer_loss_quadratic
        {6},                   // num_fixed_outputs
        {0, 1000, 2000, 3000}, // sensor_positions
        {1, 1},                // gain_profile_up
        {0.5, 0.5},            // gain_profile_down
        {20},                  // displacer_quadrature_gain
        {20},                  // displacer_velocity_gain
        {2 * M_PI / 10}        // displacer_frequency
    };
}

// States of the 100-cell reduced model: 100 `w_up`, 100 `w_down`, then the choke opening.
constexpr int linear_choke_opening_state = 2 * 100;

} // namespace

std::optional<ParamValues> defaultParams(const std::string& block_name) {
    if (block_name == "tavrel" || block_name == "tavrel_piston" || block_name == "tavrel_linear")
        return defaultWell();
    if (block_name == "tavrel_observer") return observerWell();
    return std::nullopt;
}

std::optional<int> chokeOpeningState(const std::string& block_name) {
    if (block_name == "tavrel" || block_name == "tavrel_piston") return rig::state::choke_opening;
    if (block_name == "tavrel_linear") return linear_choke_opening_state;
    return std::nullopt;
}

} // namespace tavrel::host
