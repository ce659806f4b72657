#include "compensator_model.h"

#include "block_sizes.h"
#include "compensator_declarations.h"

#include <algorithm>
#include <cmath>

namespace tavrel::compensator {

namespace {

struct Inputs {
    double velocity_estimate;
    double pressure;
    double opening;
    double top_pressure;
};

Inputs readInputs(const SimStruct* S) {
    return {inputValue(S, input::displacer_velocity_estimate), inputValue(S, input::held_pressure),
            inputValue(S, input::choke_opening), inputValue(S, input::top_pressure)};
}

// The drop over the choke counted in the schedule never falls below this fraction of the
// tuning's, however far the mean top pressure falls towards the outlet's.
constexpr double min_drop_fraction = 0.1;

// Near the well's quarter-wave period the heave swings the top pressure by about the same
// amount whatever the choke does, and the opening that keeps that swing from moving the choke
// flow, dz = -dp/(2*dp_mean*dlnCv/dz) from q = Cv(z)*sqrt(dp/rho), grows as the mean drop over
// the choke falls: the gain tuned at one mean drop is carried to another by their ratio, raised
// to schedule_exponent (below 1 where a lower drop also puts the choke on a relatively steeper
// part of its characteristic; 0 turns the schedule off).
double gainSchedule(const CompensatorParams& p, const double* x) {
    const double tuned = p.tuning_top_pressure - p.downstream_pressure;
    const double present = x[state::mean_top_pressure] - p.downstream_pressure;
    return std::pow(tuned / std::max(present, tuned * min_drop_fraction), p.schedule_exponent);
}

// The feedforward before its schedule: the weights on the resonator's in-phase and quadrature
// states. Their start, K*cos(w*tau) and K*sin(w*tau), is the filtered heave velocity advanced by
// tau times K: exact for a sinusoid at w, whose quadrature state is its derivative over w.
double weightedVelocity(const double* x) {
    return x[state::feedforward_in_phase] * x[state::filtered_velocity] +
           x[state::feedforward_quadrature] * x[state::quadrature_velocity];
}

// How far the adapted weights may grow beyond the tuned gain.
constexpr double max_weight_ratio = 1.5;

// Heave amplitude (m/s) below which the adaptation slows with the square of the amplitude
// instead of normalising it away: while the resonators ring up from rest the held pressure's
// oscillation is the start's, not the feedforward's, and must not move the weights.
constexpr double normalising_amplitude = 0.3;

// Narrow-band adaptation of the weights W = w_a + j*w_b. With the heave V = a + j*b... as phasor
// and the held pressure's oscillation E at w, E = P*s*W*V + D for the plant P from opening to
// held pressure; descending |E|^2 along conj(P*V)*E with the tuning's P = G*exp(j*phi) drives E to
// zero at the adaptation rate while the true phase is within a quarter turn of phi. Products of
// in-phase and quadrature states give the phasor products without a ripple at 2w.
void adaptationRates(const CompensatorParams& p, const double* x, double* dX) {
    // The pressure's quadrature as pressure_in_phase'/w: free of the offset that a steady error
    // leaves in pressure_quadrature, which would ripple the weights at w and shift the mean.
    const double pb = dX[state::pressure_in_phase] / p.displacer_frequency;
    const double a = x[state::filtered_velocity];
    const double b = x[state::quadrature_velocity];
    const double power = a * a + b * b;
    if (p.adaptation_rate == 0) {
        dX[state::feedforward_in_phase] = 0;
        dX[state::feedforward_quadrature] = 0;
        return;
    }
    const double xa = std::cos(p.plant_phase) * a + std::sin(p.plant_phase) * b;
    const double xb = std::cos(p.plant_phase) * b - std::sin(p.plant_phase) * a;
    const double pa = x[state::pressure_in_phase];
    const double step =
        p.adaptation_rate /
        (p.plant_gain * std::max(power, normalising_amplitude * normalising_amplitude));
    double da = -(xa * pa + xb * pb) * step;
    double db = -(xb * pa - xa * pb) * step;
    // At max_weight_ratio times feedforward_gain the weights may turn but not grow.
    const double wa = x[state::feedforward_in_phase];
    const double wb = x[state::feedforward_quadrature];
    const double size2 = wa * wa + wb * wb;
    const double outward = wa * da + wb * db;
    const double limit = max_weight_ratio * p.feedforward_gain;
    if (size2 >= limit * limit && outward > 0) {
        da -= wa * outward / size2;
        db -= wb * outward / size2;
    }
    dX[state::feedforward_in_phase] = da;
    dX[state::feedforward_quadrature] = db;
}

// The setpoint before its limits, without the integral: pressure feedback plus feedforward.
double proportionalPart(const CompensatorParams& p, const double* x, double pressure) {
    return (pressure - p.pressure_setpoint) * p.proportional_gain +
           weightedVelocity(x) * gainSchedule(p, x);
}

double limited(double setpoint) { return std::clamp(setpoint, 0.0, 1.0); }

// The integral's drive from the pressure error, stopped while the measured choke rests at an
// end of its travel and the error would carry it further.
double integralDrive(const CompensatorParams& p, double pressure, double opening) {
    const double drive = (pressure - p.pressure_setpoint) * p.integral_gain;
    if ((opening >= 1 && drive > 0) || (opening <= 0 && drive < 0)) return 0;
    return drive;
}

} // namespace

// The declared parameters, states and inputs, the integer work element and the one output.
void mdlInitializeSizes(SimStruct* S) {
    if (!declareParamsStatesInputs(S, param::count, state::count, description.inputs)) return;
    ssSetNumIWork(S, iwork::count);

    if (!ssSetNumOutputPorts(S, output::count)) return;
    ssSetOutputPortWidth(S, output::choke_setpoint, 1);
}

// Resonator and integral at 0; arms the first-output flag.
void mdlInitializeConditions(SimStruct* S) {
    double* x = ssGetContStates(S);
    x[state::filtered_velocity] = 0;
    x[state::quadrature_velocity] = 0;
    x[state::opening_integral] = 0;
    x[state::mean_top_pressure] = 0;
    const CompensatorParams p = CompensatorParams::read(S);
    const double phase = p.displacer_frequency * p.advance_time;
    x[state::feedforward_in_phase] = p.feedforward_gain * std::cos(phase);
    x[state::feedforward_quadrature] = p.feedforward_gain * std::sin(phase);
    x[state::pressure_in_phase] = 0;
    x[state::pressure_quadrature] = 0;
    ssGetIWork(S)[iwork::first_output_flag] = 1;
}

// The choke setpoint, limited to [0, 1]. The first call after initialisation starts the mean
// top pressure at the measured one and sets the integral so that the setpoint equals the
// measured choke opening (a bumpless start).
void mdlOutputs(SimStruct* S, int_T) {
    const CompensatorParams p = CompensatorParams::read(S);
    double* x = ssGetContStates(S);
    const Inputs u = readInputs(S);
    int* flags = ssGetIWork(S);
    if (flags[iwork::first_output_flag] == 1) x[state::mean_top_pressure] = u.top_pressure;
    const double part = proportionalPart(p, x, u.pressure);
    if (flags[iwork::first_output_flag] == 1) {
        x[state::opening_integral] = u.opening - part;
        flags[iwork::first_output_flag] = 0;
    }
    writeOutput(S, output::choke_setpoint, limited(x[state::opening_integral] + part));
}

// Resonator: y'' + k y' + w^2 y = k v' in state form; at w it passes the estimate with unit
// gain and no phase shift, and it blocks the estimate's offset and its noise away from w.
// Integral: back-calculation pulls it towards the limited setpoint at 1/anti_windup_time.
// Mean top pressure: first-order lag behind the measured one.
void mdlDerivatives(SimStruct* S) {
    const CompensatorParams p = CompensatorParams::read(S);
    const double* x = ssGetContStates(S);
    double* dX = ssGetdX(S);
    const Inputs u = readInputs(S);
    const double w = p.displacer_frequency;

    dX[state::filtered_velocity] =
        x[state::quadrature_velocity] * w +
        (u.velocity_estimate - x[state::filtered_velocity]) * p.filter_bandwidth;
    dX[state::quadrature_velocity] = -(x[state::filtered_velocity] * w);

    const double setpoint = x[state::opening_integral] + proportionalPart(p, x, u.pressure);
    dX[state::opening_integral] = integralDrive(p, u.pressure, u.opening) +
                                  (limited(setpoint) - setpoint) / p.anti_windup_time;
    dX[state::mean_top_pressure] =
        (u.top_pressure - x[state::mean_top_pressure]) / p.top_pressure_filter_time;

    dX[state::pressure_in_phase] =
        x[state::pressure_quadrature] * w +
        (u.pressure - p.pressure_setpoint - x[state::pressure_in_phase]) * p.filter_bandwidth;
    dX[state::pressure_quadrature] = -(x[state::pressure_in_phase] * w);
    adaptationRates(p, x, dX);
}

} // namespace tavrel::compensator
