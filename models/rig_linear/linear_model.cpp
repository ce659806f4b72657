#include "linear_model.h"

#include "choke.h"
#include "linear_choke.h"
#include "linear_declarations.h"
#include "linear_waves.h"
#include "mex.h"
#include "rig_annulus.h"
#include "sensor_outputs.h"

#include <array>
#include <cmath>

namespace tavrel::linear {

using rig::RigParams;
namespace input = rig::input;
namespace output = rig::output;

namespace {

constexpr int n = state::cells;

double cellLength(const RigParams& p) { return p.annulus_length / n; }

// The wave values that the grid's two ends supply at one call: `w_up` at the bottom from the
// displacer, `w_down` at the top from the choke.
struct Boundaries {
    double bottom_velocity;   // vb
    double w_up_bottom;       // Ab, `w_up` at grid point 0
    double choke_coefficient; // Cv at the present opening
    double choke_velocity;    // vc, choke volume rate / annulus_area
    double w_down_top;        // Bt, `w_down` at grid point 100
};

// The injection flow joins between the annulus top and the choke, so the annulus velocity at
// the top is the choke velocity less injection_flow/annulus_area.
Boundaries formBoundaries(const RigParams& p, const double* x, double displacer_velocity,
                          double injection_flow) {
    const double a_top = x[state::w_up_top];
    Boundaries b;
    b.bottom_velocity = rig::displacerBottomVelocity(p, displacer_velocity);
    b.w_up_bottom =
        rig::boundaryInvariantForVelocity(p, b.bottom_velocity, x[state::w_down_bottom]);
    b.choke_coefficient = rig::chokeCoefficient(p.choke_characteristic, x[state::choke_opening]);
    b.choke_velocity = linearChokeFlowVelocity(p, a_top, b.choke_coefficient, injection_flow);
    b.w_down_top = rig::boundaryInvariantForVelocity(
        p, b.choke_velocity - injection_flow / p.annulus_area, a_top);
    return b;
}

// On the first outputs call after initialisation: the opening whose coefficient passes the
// injection flow alone across the initial top pressure, printed with that flow.
void setInitialChokeOpening(SimStruct* S, const RigParams& p, double injection_flow) {
    int* iwork = ssGetIWork(S);
    if (iwork[rig::first_output_flag] != 1) return;
    double* x = ssGetContStates(S);
    x[state::choke_opening] =
        rig::initialChokeOpening(p.choke_characteristic, injection_flow, p.initial_top_pressure,
                                 p.downstream_pressure, p.density_ref);
    iwork[rig::first_output_flag] = 0;
    mexPrintf("Initial pump: %f\n", injection_flow);
    mexPrintf("Initial choke opening: %f\n", x[state::choke_opening]);
}

// The choke's square law while it is open; the top pressure of the waves once it is shut.
double chokePressure(const RigParams& p, const Boundaries& b, double choke_flow, double a_top) {
    if (b.choke_coefficient > 0) {
        return rig::chokeLawPressure(choke_flow, b.choke_coefficient, b.choke_velocity,
                                     p.choke_density, p.downstream_pressure);
    }
    return linearInvariants(p).pressure(a_top, b.w_down_top);
}

void writeSensors(SimStruct* S, const RigParams& p, const Boundaries& b) {
    const double* x = ssGetContStates(S);
    const LinearInvariants waves = linearInvariants(p);
    const WaveProfiles profiles{x + state::w_up, b.w_up_bottom, x + state::w_down, b.w_down_top, n,
                                cellLength(p)};
    writeSensorPressures(S, p.num_fixed_outputs, p.sensor_positions, profiles,
                         [&waves](double a, double d) { return waves.pressure(a, d); });
}

// Backward differences of `w_up` (it travels up), forward differences of `w_down` (it travels
// down); each family takes its missing end value from the boundary.
struct UpwindDifferences {
    std::array<double, n> up;   // up[k] at grid point k+1
    std::array<double, n> down; // down[k] at grid point k
};

UpwindDifferences upwindDifferences(const double* x, const Boundaries& b, double dx) {
    const double* up = x + state::w_up;
    const double* down = x + state::w_down;
    UpwindDifferences D;
    D.up[0] = (up[0] - b.w_up_bottom) / dx;
    for (int k = 1; k < n; ++k)
        D.up[k] = (up[k] - up[k - 1]) / dx;
    for (int k = 0; k < n - 1; ++k)
        D.down[k] = (down[k + 1] - down[k]) / dx;
    D.down[n - 1] = (b.w_down_top - down[n - 1]) / dx;
    return D;
}

// Friction per unit mass at the grid points 0 .. 100, from the velocity the waves carry there.
std::array<double, n + 1> gridFriction(const RigParams& p, const double* x, const Boundaries& b) {
    std::array<double, n + 1> V;
    V[0] = b.bottom_velocity;
    for (int k = 1; k < n; ++k) {
        V[k] = rig::velocityFromInvariants(p, x[state::w_up + k - 1], x[state::w_down + k]);
    }
    V[n] = rig::velocityFromInvariants(p, b.w_down_top, x[state::w_up_top]);
    std::array<double, n + 1> F;
    for (int k = 0; k <= n; ++k)
        F[k] = friction(p.friction_linear, p.friction_quadratic, V[k]);
    return F;
}

} // namespace

void mdlInitializeSizes(SimStruct* S) { rig::declareRigSizes(S, state::count); }

// The fluid at rest in the hydrostatic profile of the pressure-dependent density, with
// initial_top_pressure at the top. The choke opening is left for the first outputs call.
void mdlInitializeConditions(SimStruct* S) {
    const RigParams p = RigParams::read(S);
    ssGetIWork(S)[rig::first_output_flag] = 1;
    const double dx = cellLength(p);
    std::array<double, n + 1> P;
    std::array<double, n + 1> V{};
    for (int i = 0; i <= n; ++i)
        P[i] = hydrostaticPressure(p.hydrostatics(), i, dx);

    const LinearInvariants waves = linearInvariants(p);
    double* x = ssGetContStates(S);
    for (int j = 0; j < n; ++j) {
        x[state::w_up + j] = waves.up(V[j + 1], P[j + 1]);
        x[state::w_down + j] = waves.down(V[j], P[j]);
    }
}

void mdlOutputs(SimStruct* S, int_T) {
    const RigParams p = RigParams::read(S);
    const double u1 = inputValue(S, input::displacer_velocity);
    const double u2 = inputValue(S, input::injection_flow);
    setInitialChokeOpening(S, p, u2);

    const double* x = ssGetContStates(S);
    const Boundaries b = formBoundaries(p, x, u1, u2);
    const double a_top = x[state::w_up_top];
    writeOutput(S, output::bottom_flow, b.bottom_velocity * p.annulus_area);
    writeOutput(S, output::choke_opening, x[state::choke_opening]);

    const double top_flow = rig::velocityFromInvariants(p, b.w_down_top, a_top) * p.annulus_area;
    const double choke_flow = top_flow + u2;
    writeOutput(S, output::top_flow, top_flow);
    writeOutput(S, output::choke_flow, choke_flow);

    const double bottom_pressure =
        linearInvariants(p).pressure(b.w_up_bottom, x[state::w_down_bottom]);
    writeOutput(S, output::bottom_pressure, bottom_pressure);
    writeOutput(S, output::choke_pressure, chokePressure(p, b, choke_flow, a_top));
    writeOutput(S, output::displacer_pressure,
                displacerPressure(bottom_pressure, u1, p.displacer_loss_linear,
                                  p.displacer_loss_quadratic, p.density_ref, p.displacer_depth));
    writeSensors(S, p, b);
}

// Both wave families travel at the fixed sound speed c:
//   d(w_up)/dt = -c*d(w_up)/ds - F(v) - g*sin(inclination),
//   d(w_down)/dt = +c*d(w_down)/ds - F(v) - g*sin(inclination).
void mdlDerivatives(SimStruct* S) {
    const RigParams p = RigParams::read(S);
    const double* x = ssGetContStates(S);
    double* dX = ssGetdX(S);
    const double u0 = inputValue(S, input::choke_setpoint);
    const double u1 = inputValue(S, input::displacer_velocity);
    const double u2 = inputValue(S, input::injection_flow);

    const Boundaries b = formBoundaries(p, x, u1, u2);
    const UpwindDifferences D = upwindDifferences(x, b, cellLength(p));
    const std::array<double, n + 1> F = gridFriction(p, x, b);
    const double c = p.sound_speed;
    const double g_s = std::sin(p.inclination) * gravity;
    for (int j = 0; j < n; ++j) {
        dX[state::w_up + j] = (-(c * D.up[j]) - F[j + 1]) - g_s;
        dX[state::w_down + j] = (c * D.down[j] - F[j]) - g_s;
    }
    dX[state::choke_opening] =
        rig::chokeActuatorRate(u0, x[state::choke_opening], p.choke_stroke_time);
}

} // namespace tavrel::linear
