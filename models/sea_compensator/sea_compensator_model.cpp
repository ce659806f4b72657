#include "sea_compensator_model.h"

#include "block_sizes.h"
#include "sea_compensator_declarations.h"

#include <algorithm>
#include <cmath>

namespace tavrel::sea_compensator {

namespace {

struct Inputs {
    double heave; // the measurement less its reference
    double pressure;
    double opening;
};

Inputs readInputs(const SimStruct* S) {
    return {inputValue(S, input::heave_measurement) - inputValue(S, input::heave_reference),
            inputValue(S, input::held_pressure), inputValue(S, input::choke_opening)};
}

// The choke follows its setpoint with a lag of this fraction of its stroke time (the rig's
// actuator, models/annulus/choke.h).
constexpr double actuator_lag_fraction = 0.1;

constexpr double two_pi = 6.283185307179586;

// The heave's mean period from the mean squares of its measurement and of that measurement's
// leaky integral; 0 until the measurement has power.
double heavePeriod(const double* x) {
    const double power = x[state::measurement_power];
    if (!(power > 0)) return 0;
    return two_pi * std::sqrt(std::max(x[state::displacement_power], 0.0) / power);
}

// Where a period falls in the schedule: the two rows around it and the weight of the second,
// the nearer row alone beyond the ends.
struct ScheduleSpot {
    std::size_t row = 0;
    std::size_t next = 0;
    double fraction = 0;
};

ScheduleSpot scheduleSpot(const SeaCompensatorParams& p, double period) {
    const auto& periods = p.schedule_periods;
    const std::size_t last = periods.length - 1;
    if (last == 0 || period <= periods[0]) return {};
    if (period >= periods[last]) return {last, last, 0};
    // Bounded by the last row as well: periods that are not numbers (which the rules refuse)
    // would otherwise let the search run past the schedule.
    std::size_t row = 0;
    while (row + 1 < last && periods[row + 1] < period)
        ++row;
    return {row, row + 1, (period - periods[row]) / (periods[row + 1] - periods[row])};
}

// The feedforward before its back-off, as a relative change of the choke's area: the Laguerre
// states weighted by the schedule's rows around the estimated period, interpolated. Weights
// beyond a row's length are 0.
double feedforward(const SeaCompensatorParams& p, const double* x) {
    if (p.schedule_periods.length == 0 || p.filter_weights.length == 0) return 0;
    const std::size_t row_length = p.filter_weights.length / p.schedule_periods.length;
    const auto count = std::min<std::size_t>(row_length, state::filter_order);
    const ScheduleSpot spot = scheduleSpot(p, heavePeriod(x));
    const double* first = p.filter_weights.data + spot.row * row_length;
    const double* second = p.filter_weights.data + spot.next * row_length;
    double sum = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double weight = first[k] + spot.fraction * (second[k] - first[k]);
        sum += weight * x[state::laguerre_0 + static_cast<int>(k)];
    }
    return sum;
}

// The choke's area at opening z in [0, 1], linear between the characteristic's entries.
double chokeArea(const ParamVector& table, double z) {
    const double h = 1.0 / static_cast<double>(table.length - 1);
    const auto k = std::min(static_cast<std::size_t>(z / h), table.length - 2);
    return table[k] + (z - static_cast<double>(k) * h) * (table[k + 1] - table[k]) / h;
}

// The opening in [0, 1] whose area is `area`, held within the characteristic's range; on a
// flat stretch, its first opening.
double openingForArea(const ParamVector& table, double area) {
    const std::size_t last = table.length - 1;
    if (!(area > table[0])) return 0;
    if (!(area < table[last])) return 1;
    std::size_t k = 0;
    while (!(table[k + 1] > area))
        ++k;
    const double h = 1.0 / static_cast<double>(last);
    return (static_cast<double>(k) + (area - table[k]) / (table[k + 1] - table[k])) * h;
}

// The move of the opening from `base` that changes the choke's area by the fraction
// `relative`. The choke's characteristic is linear by pieces, steeper as it opens: moving the
// area rather than the opening keeps the flow's response to the feedforward linear, where equal
// moves of the opening up and down would raise the mean area with the swing, and with it drag
// the mean pressure with every group of waves.
double openingMove(const SeaCompensatorParams& p, double base, double relative) {
    const ParamVector& table = p.choke_characteristic;
    // Without a table, or from an opening or by a fraction that is not a number, there is no
    // area to move: the held opening stays.
    if (table.length < 2 || std::isnan(base) || std::isnan(relative)) return 0;
    const double from = std::clamp(base, 0.0, 1.0);
    return openingForArea(table, chokeArea(table, from) * (1 + relative)) - from;
}

// The factor 0 .. 1 on the feedforward: 1 while the RMS rate of the opening's move it asks for
// (through the choke's lag) stays within rate_fraction of the rate limit and its RMS within
// swing_fraction of the mean opening's distance to the nearer end, else the factor that brings
// the larger excess back to its bound. The mean squares are of the move before the factor, so
// the factor does not feed back into what it measures.
double backOff(const SeaCompensatorParams& p, const double* x) {
    double scale = 1;
    const double rate_bound = p.rate_fraction / p.stroke_time;
    const double rate_power = x[state::rate_power];
    if (rate_power > rate_bound * rate_bound) scale = rate_bound / std::sqrt(rate_power);
    const double mean = x[state::opening_integral];
    const double room = std::max(std::min(mean, 1 - mean), 0.0) * p.swing_fraction;
    const double swing_power = x[state::swing_power];
    if (swing_power > room * room) scale = std::min(scale, room / std::sqrt(swing_power));
    return scale;
}

// The pressure feedback's proportional part.
double proportionalPart(const SeaCompensatorParams& p, double pressure) {
    return (pressure - p.pressure_setpoint) * p.proportional_gain;
}

// The opening the pressure feedback holds, and the feedforward before its back-off: what the
// setpoint and the back-off's mean squares are made of, each worked out once a call.
struct Parts {
    double held;
    double feedforward;
};

Parts partsOf(const SeaCompensatorParams& p, const double* x, double pressure) {
    return {x[state::opening_integral] + proportionalPart(p, pressure), feedforward(p, x)};
}

// The setpoint before its limits: the held opening moved by the feedforward after its back-off.
double unlimitedSetpoint(const SeaCompensatorParams& p, const double* x, const Parts& parts) {
    return parts.held + openingMove(p, parts.held, backOff(p, x) * parts.feedforward);
}

double limited(double setpoint) { return std::clamp(setpoint, 0.0, 1.0); }

// The integral's drive from the pressure error, stopped while the measured choke rests at an
// end of its travel and the error would carry it further.
double integralDrive(const SeaCompensatorParams& p, double pressure, double opening) {
    const double drive = (pressure - p.pressure_setpoint) * p.integral_gain;
    if ((opening >= 1 && drive > 0) || (opening <= 0 && drive < 0)) return 0;
    return drive;
}

// Laguerre chain: state k is the signal through sqrt(2a)/(s + a) ((s - a)/(s + a))^k. From
// (s + a) x_k = (s - a) x_(k-1): x_k' = -a x_k - 2a (x_0 + ... + x_(k-1)) + sqrt(2a) m.
void laguerreRates(double pole, double signal, const double* x, double* dX) {
    const double drive = std::sqrt(2 * pole) * signal;
    double below = 0;
    for (int k = 0; k < state::filter_order; ++k) {
        dX[state::laguerre_0 + k] = -pole * x[state::laguerre_0 + k] - 2 * pole * below + drive;
        below += x[state::laguerre_0 + k];
    }
}

} // namespace

// The declared parameters, states and inputs, the integer work element and the outputs.
void mdlInitializeSizes(SimStruct* S) {
    if (!declareParamsStatesInputs(S, param::count, state::count, description.inputs)) return;
    ssSetNumIWork(S, iwork::count);

    if (!ssSetNumOutputPorts(S, output::count)) return;
    for (int port = 0; port < output::count; ++port)
        ssSetOutputPortWidth(S, port, 1);
}

// Every state at 0 (the filter at rest, the back-off open); arms the first-output flag.
void mdlInitializeConditions(SimStruct* S) {
    std::fill_n(ssGetContStates(S), state::count, 0.0);
    ssGetIWork(S)[iwork::first_output_flag] = 1;
}

// The choke setpoint, limited to [0, 1], and the back-off's factor. The first call after
// initialisation sets the integral so that the setpoint equals the measured choke opening (a
// bumpless start; the filter is at rest, so the feedforward is 0).
void mdlOutputs(SimStruct* S, int_T) {
    const SeaCompensatorParams p = SeaCompensatorParams::read(S);
    double* x = ssGetContStates(S);
    const Inputs u = readInputs(S);
    int* flags = ssGetIWork(S);
    if (flags[iwork::first_output_flag] == 1) {
        x[state::opening_integral] = u.opening - proportionalPart(p, u.pressure);
        flags[iwork::first_output_flag] = 0;
    }
    writeOutput(S, output::choke_setpoint,
                limited(unlimitedSetpoint(p, x, partsOf(p, x, u.pressure))));
    writeOutput(S, output::feedforward_scale, backOff(p, x));
    writeOutput(S, output::heave_period, heavePeriod(x));
}

// Laguerre chain on the heave; the integral with back-calculation towards the limited setpoint
// at 1/anti_windup_time; the feedforward's opening move through the choke's lag, and the mean
// squares of that lagged move's rate and of the move, over averaging_time; the period
// estimate's leaky integral and mean squares.
void mdlDerivatives(SimStruct* S) {
    const SeaCompensatorParams p = SeaCompensatorParams::read(S);
    const double* x = ssGetContStates(S);
    double* dX = ssGetdX(S);
    const Inputs u = readInputs(S);

    // The measurement's mean taken out: an offset of the sensor, or the mean of a pressure, is
    // no heave, and would bias the period estimate and the back-off's mean squares.
    const double heave = u.heave - x[state::measurement_mean];
    dX[state::measurement_mean] = heave / p.mean_time;
    laguerreRates(p.basis_pole, heave, x, dX);

    const Parts parts = partsOf(p, x, u.pressure);
    const double setpoint = unlimitedSetpoint(p, x, parts);
    dX[state::opening_integral] = integralDrive(p, u.pressure, u.opening) +
                                  (limited(setpoint) - setpoint) / p.anti_windup_time;

    const double y = openingMove(p, parts.held, parts.feedforward);
    const double rate = (y - x[state::lagged_move]) / (actuator_lag_fraction * p.stroke_time);
    dX[state::lagged_move] = rate;
    dX[state::rate_power] = (rate * rate - x[state::rate_power]) / p.averaging_time;
    dX[state::swing_power] = (y * y - x[state::swing_power]) / p.averaging_time;

    const double displacement = x[state::heave_displacement];
    dX[state::heave_displacement] = heave - displacement / p.displacement_time;
    dX[state::measurement_power] = (heave * heave - x[state::measurement_power]) / p.averaging_time;
    dX[state::displacement_power] =
        (displacement * displacement - x[state::displacement_power]) / p.averaging_time;
}

} // namespace tavrel::sea_compensator
