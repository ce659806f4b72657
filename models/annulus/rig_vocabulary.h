// Indices of the rig models' dialog parameters, ports and states. `tavrel`, `tavrel_piston`
// and `tavrel_linear` share the parameters and ports; their names, units and rules are in
// rig_description.h, tied to these indices.
#pragma once

namespace tavrel::rig {

namespace param {
enum : int {
    annulus_area = 0,
    density_ref = 1,
    pressure_ref = 2,
    friction_linear = 3,
    friction_quadratic = 4,
    sound_speed = 5,
    invariant_pressure_ref = 6,
    invariant_velocity_ref = 7,
    downstream_pressure = 8,
    initial_top_pressure = 9,
    choke_stroke_time = 10,
    choke_density = 11,
    inclination = 12,
    displacer_depth = 13,
    displacer_area_outer = 14,
    displacer_area_inner = 15,
    displacer_loss_linear = 16,
    displacer_loss_quadratic = 17,
    annulus_length = 18,
    num_fixed_outputs = 19,
    sensor_positions = 20,
    choke_characteristic = 21,
    // Read by the piston block only; the other rig blocks declare them for a common set.
    passage_length = 22,
    passage_area_inner = 23,
    passage_area_outer = 24,
    passage_friction_linear = 25,
    passage_friction_quadratic = 26,
    chamber_bulk_modulus = 27,
    count = 28,
    // mdlInitializeSizes reads parameters up to this index.
    last_read_by_sizes = sensor_positions
};
} // namespace param

namespace input {
enum : int { choke_setpoint = 0, displacer_velocity = 1, injection_flow = 2, count = 3 };
}

namespace output {
enum : int {
    bottom_pressure = 0,
    choke_flow = 1,
    choke_pressure = 2,
    choke_opening = 3,
    displacer_pressure = 4,
    bottom_flow = 5,
    top_flow = 6,
    fixed_count = 7
};
}

// States of the 150-cell rig models (`tavrel`, `tavrel_piston`).
namespace state {
constexpr int cells = 150;
constexpr int w_up = 0;             // w_up[k] belongs to grid point k+1
constexpr int w_down = cells;       // w_down[k] belongs to grid point k
constexpr int choke_opening = 2 * cells;
constexpr int bottom_velocity_lag = 2 * cells + 1; // `tavrel` only
constexpr int count = 2 * cells + 2;
} // namespace state

// Integer work element 0 of every rig model.
constexpr int first_output_flag = 0;

} // namespace tavrel::rig
