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

// The feedforward before its back-off: the weighted Laguerre states. Weights beyond the
// parameter's length are 0.
double feedforward(const SeaCompensatorParams& p, const double* x) {
    const auto count = std::min<std::size_t>(p.filter_weights.length, state::filter_order);
    double sum = 0;
    for (std::size_t k = 0; k < count; ++k)
        sum += p.filter_weights[k] * x[state::laguerre_0 + static_cast<int>(k)];
    return sum;
}

// The factor 0 .. 1 on the feedforward: 1 while the RMS rate of the opening it asks for (through
// the choke's lag) stays within rate_fraction of the rate limit and its RMS within
// swing_fraction of the mean opening's distance to the nearer end, else the factor that brings
// the larger excess back to its bound. The mean squares are of the feedforward before the
// factor, so the factor does not feed back into what it measures.
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

// The setpoint before its limits, without the integral: pressure feedback plus feedforward.
double proportionalPart(const SeaCompensatorParams& p, const double* x, double pressure) {
    return (pressure - p.pressure_setpoint) * p.proportional_gain +
           backOff(p, x) * feedforward(p, x);
}

double limited(double setpoint) { return std::clamp(setpoint, 0.0, 1.0); }

// The integral's drive from the pressure error, stopped while the measured choke rests at an
// end of its travel and the error would carry it further.
double integralDrive(const SeaCompensatorParams& p, double pressure, double opening) {
    const double drive = (pressure - p.pressure_setpoint) * p.integral_gain;
    if ((opening >= 1 && drive > 0) || (opening <= 0 && drive < 0)) return 0;
    return drive;
}

// Laguerre chain: state k is the heave through sqrt(2a)/(s + a) ((s - a)/(s + a))^k. From
// (s + a) x_k = (s - a) x_(k-1): x_k' = -a x_k - 2a (x_0 + ... + x_(k-1)) + sqrt(2a) m.
void laguerreRates(double pole, double heave, const double* x, double* dX) {
    const double drive = std::sqrt(2 * pole) * heave;
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
// bumpless start).
void mdlOutputs(SimStruct* S, int_T) {
    const SeaCompensatorParams p = SeaCompensatorParams::read(S);
    double* x = ssGetContStates(S);
    const Inputs u = readInputs(S);
    int* flags = ssGetIWork(S);
    if (flags[iwork::first_output_flag] == 1) {
        x[state::opening_integral] = u.opening - proportionalPart(p, x, u.pressure);
        flags[iwork::first_output_flag] = 0;
    }
    writeOutput(S, output::choke_setpoint,
                limited(x[state::opening_integral] + proportionalPart(p, x, u.pressure)));
    writeOutput(S, output::feedforward_scale, backOff(p, x));
}

// Laguerre chain on the heave; the integral with back-calculation towards the limited setpoint
// at 1/anti_windup_time; the feedforward through the choke's lag, and the mean squares of that
// lagged feedforward's rate and of the feedforward, over averaging_time.
void mdlDerivatives(SimStruct* S) {
    const SeaCompensatorParams p = SeaCompensatorParams::read(S);
    const double* x = ssGetContStates(S);
    double* dX = ssGetdX(S);
    const Inputs u = readInputs(S);

    laguerreRates(p.basis_pole, u.heave, x, dX);

    const double setpoint = x[state::opening_integral] + proportionalPart(p, x, u.pressure);
    dX[state::opening_integral] = integralDrive(p, u.pressure, u.opening) +
                                  (limited(setpoint) - setpoint) / p.anti_windup_time;

    const double y = feedforward(p, x);
    const double rate =
        (y - x[state::lagged_feedforward]) / (actuator_lag_fraction * p.stroke_time);
    dX[state::lagged_feedforward] = rate;
    dX[state::rate_power] = (rate * rate - x[state::rate_power]) / p.averaging_time;
    dX[state::swing_power] = (y * y - x[state::swing_power]) / p.averaging_time;
}

} // namespace tavrel::sea_compensator
