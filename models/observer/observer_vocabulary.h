// Indices of the observer's dialog parameters, ports and states. A parameter that plays the
// same role as in the rig models has the same name (observer_description.h); the indices are
// the observer's own.
#pragma once

namespace tavrel::observer {

namespace param {
enum : int {
    annulus_area = 0,
    density_ref = 1,
    pressure_ref = 2, // equation of state of the initial profile only
    friction_linear = 3,
    friction_quadratic = 4,
    sound_speed = 5,
    invariant_pressure_ref = 6,
    invariant_velocity_ref = 7,
    initial_top_pressure = 8,
    annulus_length = 9,
    unused = 10, // declared so the dialog keeps its layout; read by no method
    inclination = 11,
    displacer_depth = 12,
    displacer_area_outer = 13,
    displacer_area_inner = 14,
    displacer_loss_linear = 15,
    displacer_loss_quadratic = 16,
    num_fixed_outputs = 17,
    sensor_positions = 18,
    gain_profile_up = 19,
    gain_profile_down = 20,
    displacer_quadrature_gain = 21,
    displacer_velocity_gain = 22,
    displacer_frequency = 23,
    count = 24,
    // mdlInitializeSizes reads parameters up to this index.
    last_read_by_sizes = sensor_positions
};
} // namespace param

namespace input {
enum : int { measured_top_flow = 0, measured_top_pressure = 1, count = 2 };
}

namespace output {
enum : int {
    bottom_pressure = 0,
    displacer_pressure = 1,
    top_pressure = 2,
    top_flow = 3,
    bottom_flow = 4,
    displacer_velocity_estimate = 5,
    fixed_count = 6
};
}

// Continuous states: the two invariants on the 20-cell grid and the displacer oscillator.
namespace state {
constexpr int cells = 20;
constexpr int w_up = 0;       // w_up[k] belongs to grid point k+1
constexpr int w_down = cells; // w_down[k] belongs to grid point k
// Carried for the host but never initialised, read or given a derivative by the block; a host
// that zero-fills the derivative vector keeps it constant.
constexpr int unused = 2 * cells;
constexpr int displacer_quadrature = 2 * cells + 1;
constexpr int displacer_velocity_estimate = 2 * cells + 2;
constexpr int count = 2 * cells + 3;
} // namespace state

} // namespace tavrel::observer
