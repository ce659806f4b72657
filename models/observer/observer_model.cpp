#include "observer_model.h"

#include "block_sizes.h"
#include "observer_declarations.h"
#include "observer_estimator.h"
#include "sensor_outputs.h"

#include <array>
#include <cmath>

namespace tavrel::observer {

namespace {

constexpr int n = state::cells;

struct Measurements {
    double top_flow;
    double top_pressure;
};

Measurements readMeasurements(const SimStruct* S) {
    return {inputValue(S, input::measured_top_flow), inputValue(S, input::measured_top_pressure)};
}

// The correction that the innovation e brings to one wave state: its gain, doubled, applied
// with the state's exponential weight along the annulus, per unit of annulus area.
double correction(double weight_exponent, double gain, double e, double annulus_area) {
    return (std::exp(weight_exponent) * ((gain * 2) * e)) / annulus_area;
}

struct WaveGradients {
    std::array<double, n> up;   // at grid points 1..20, backward differences
    std::array<double, n> down; // at grid points 0..19, forward differences
};

// Upwind differences: `w_up` travels up, so it takes its lower neighbour (the bottom boundary
// for the first); `w_down` travels down and takes its upper neighbour (the top boundary last).
WaveGradients waveGradients(const double* x, const ObserverBoundary& b, double dx) {
    const double* up = x + state::w_up;
    const double* down = x + state::w_down;
    WaveGradients d;
    d.up[0] = (up[0] - b.w_up_0) / dx;
    for (int j = 1; j < n; ++j)
        d.up[j] = (up[j] - up[j - 1]) / dx;
    for (int j = 0; j < n - 1; ++j)
        d.down[j] = (down[j + 1] - down[j]) / dx;
    d.down[n - 1] = (b.w_down_top - down[n - 1]) / dx;
    return d;
}

// Wall friction at the 21 grid points, from the velocity that the invariants there carry.
GridValues gridFriction(const ObserverParams& p, const double* x, const ObserverBoundary& b) {
    const double* up = x + state::w_up;
    const double* down = x + state::w_down;
    const LinearInvariants inv = p.invariants();
    GridValues v;
    v[0] = b.bottom_velocity;
    for (int i = 1; i < n; ++i)
        v[i] = inv.velocity(down[i], up[i - 1]);
    v[n] = inv.velocity(b.w_down_top, up[n - 1]);
    GridValues F;
    for (int i = 0; i <= n; ++i)
        F[i] = friction(p.friction_linear, p.friction_quadratic, v[i]);
    return F;
}

void writeWaveDerivatives(const ObserverParams& p, const double* x, const ObserverBoundary& b,
                          double e, double* dX) {
    const double c = p.sound_speed;
    const double A = p.annulus_area;
    const double Kd = dampingExponent(p);
    const WaveGradients D = waveGradients(x, b, p.cellLength());
    const GridValues F = gridFriction(p, x, b);
    const GridValues g_up = sampleGainProfile(p.gain_profile_up, p.annulus_length);
    const GridValues g_down = sampleGainProfile(p.gain_profile_down, p.annulus_length);
    const double g_s = std::sin(p.inclination) * gravity;

    constexpr double cells = static_cast<double>(n);
    for (int j = 0; j < n; ++j) {
        const double up_weight = (static_cast<double>(j + 1) * Kd) / (-cells);
        const double down_weight = (static_cast<double>(j) * Kd) / cells;
        dX[state::w_up + j] =
            correction(up_weight, g_up[j + 1], e, A) - (((D.up[j] * c) + F[j + 1]) + g_s);
        dX[state::w_down + j] =
            (((D.down[j] * c) - F[j]) - g_s) + correction(down_weight, g_down[j], e, A);
    }
}

// A harmonic oscillator at `displacer_frequency`, driven by the innovation through its gains.
void writeOscillatorDerivatives(const ObserverParams& p, const double* x, double e, double* dX) {
    dX[state::displacer_quadrature] = e * p.displacer_quadrature_gain -
                                      x[state::displacer_velocity_estimate] * p.displacer_frequency;
    dX[state::displacer_velocity_estimate] =
        e * p.displacer_velocity_gain + x[state::displacer_quadrature] * p.displacer_frequency;
}

} // namespace

// The declared parameters, states and inputs, no work elements, num_fixed_outputs + (number of
// sensors) outputs of width 1.
void mdlInitializeSizes(SimStruct* S) {
    const ObserverParams p = ObserverParams::read(S);
    const int outputs = clampedPortCount(p.num_fixed_outputs, p.sensor_positions.length);

    if (!declareParamsStatesInputs(S, param::count, state::count, description.inputs)) return;

    if (!ssSetNumOutputPorts(S, outputs)) return;
    for (int port = 0; port < outputs; ++port)
        ssSetOutputPortWidth(S, port, 1);
}

// The fluid at rest in its hydrostatic profile; the oscillator at 0.01 in both states. The
// state `unused` is left as the host holds it.
void mdlInitializeConditions(SimStruct* S) {
    const ObserverParams p = ObserverParams::read(S);
    const LinearInvariants inv = p.invariants();
    const double dx = p.cellLength();
    GridValues P;
    GridValues V{}; // the fluid stands still
    for (int i = 0; i <= n; ++i)
        P[i] = hydrostaticPressure(p.hydrostatics(), i, dx);

    double* x = ssGetContStates(S);
    for (int j = 0; j < n; ++j) {
        x[state::w_up + j] = inv.up(V[j + 1], P[j + 1]);
        x[state::w_down + j] = inv.down(V[j], P[j]);
    }
    x[state::displacer_quadrature] = 0.01;
    x[state::displacer_velocity_estimate] = 0.01;
}

// Bottom, displacer and top pressures, top and bottom flows, the estimated displacer velocity
// and the sensor pressures.
void mdlOutputs(SimStruct* S, int_T) {
    const ObserverParams p = ObserverParams::read(S);
    const double* x = ssGetContStates(S);
    const Measurements u = readMeasurements(S);
    const ObserverBoundary b = observerBoundary(p, x, u.top_flow, u.top_pressure);
    const LinearInvariants inv = p.invariants();
    const double w_up_top = x[state::w_up + n - 1];
    const double w_down_bottom = x[state::w_down];
    const double v_displacer = x[state::displacer_velocity_estimate];

    writeOutput(S, output::bottom_flow, b.bottom_velocity * p.annulus_area);
    writeOutput(S, output::top_flow, inv.velocity(b.w_down_top, w_up_top) * p.annulus_area);
    writeOutput(S, output::top_pressure, inv.pressure(w_up_top, b.w_down_top));
    const double bottom_pressure = inv.pressure(b.w_up_0, w_down_bottom);
    writeOutput(S, output::bottom_pressure, bottom_pressure);
    writeOutput(S, output::displacer_pressure,
                displacerPressure(bottom_pressure, v_displacer, p.displacer_loss_linear,
                                  p.displacer_loss_quadratic, p.density_ref, p.displacer_depth));
    writeOutput(S, output::displacer_velocity_estimate, v_displacer);

    // Written last: with fewer than six fixed outputs they take the place of fixed values.
    const WaveProfiles waves{x + state::w_up, b.w_up_0, x + state::w_down,
                             b.w_down_top,    n,        p.cellLength()};
    writeSensorPressures(S, p.num_fixed_outputs, p.sensor_positions, waves,
                         [&inv](double a, double d) { return inv.pressure(a, d); });
}

// Writes the derivatives of the wave states and of the oscillator; the state `unused` gets
// none, so it keeps the value the host zero-fills in.
void mdlDerivatives(SimStruct* S) {
    const ObserverParams p = ObserverParams::read(S);
    const double* x = ssGetContStates(S);
    double* dX = ssGetdX(S);
    const Measurements u = readMeasurements(S);
    const ObserverBoundary b = observerBoundary(p, x, u.top_flow, u.top_pressure);
    const double e = innovation(p, x, b.w_down_top, u.top_flow, u.top_pressure);
    writeWaveDerivatives(p, x, b, e, dX);
    writeOscillatorDerivatives(p, x, e, dX);
}

} // namespace tavrel::observer
