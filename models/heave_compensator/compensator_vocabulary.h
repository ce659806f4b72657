// Indices of the heave compensator's dialog parameters, ports and states.
#pragma once

namespace tavrel::compensator {

namespace param {
enum : int {
    displacer_frequency = 0, // same role and name as the observer's oscillator frequency
    filter_bandwidth = 1,
    advance_time = 2,
    feedforward_gain = 3,
    pressure_setpoint = 4,
    proportional_gain = 5,
    integral_gain = 6,
    anti_windup_time = 7,
    count = 8,
    // mdlInitializeSizes reads no parameter.
    last_read_by_sizes = -1
};
} // namespace param

namespace input {
enum : int { displacer_velocity_estimate = 0, held_pressure = 1, choke_opening = 2, count = 3 };
}

namespace output {
enum : int { choke_setpoint = 0, count = 1 };
}

// Continuous states: the band-pass resonator on the heave velocity estimate (its in-phase and
// quadrature parts) and the integral of the pressure feedback.
namespace state {
constexpr int filtered_velocity = 0;
constexpr int quadrature_velocity = 1;
constexpr int opening_integral = 2;
constexpr int count = 3;
} // namespace state

// Integer work: armed by the initialisation, cleared by the first outputs call, which sets
// the integral so that the first setpoint equals the choke's present opening.
namespace iwork {
constexpr int first_output_flag = 0;
constexpr int count = 1;
} // namespace iwork

} // namespace tavrel::compensator
