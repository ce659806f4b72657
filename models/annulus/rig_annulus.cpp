#include "rig_annulus.h"

#include "block_sizes.h"
#include "choke.h"
#include "rig_shared_declarations.h"
#include "sensor_outputs.h"

#include <array>
#include <cmath>

namespace tavrel::rig {

namespace {
constexpr int n = state::cells;

double cellLength(const RigParams& p) { return p.annulus_length / n; }
} // namespace

void declareRigSizes(SimStruct* S, int num_states) {
    const RigParams p = RigParams::read(S);
    const int outputs = clampedPortCount(p.num_fixed_outputs, p.sensor_positions.length);

    if (!declareParamsStatesInputs(S, param::count, num_states, inputs)) return;

    ssSetNumIWork(S, 1);

    if (!ssSetNumOutputPorts(S, outputs)) return;
    for (int port = 0; port < outputs; ++port)
        ssSetOutputPortWidth(S, port, 1);
}

double initializeAnnulus(SimStruct* S, const RigParams& p) {
    ssGetIWork(S)[first_output_flag] = 1;
    const double dx = cellLength(p);
    std::array<double, n + 1> P;
    std::array<double, n + 1> V{}; // the fluid stands still
    for (int i = 0; i <= n; ++i)
        P[i] = hydrostaticPressure(p.hydrostatics(), i, dx);

    double* x = ssGetContStates(S);
    for (int j = 0; j < n; ++j) {
        x[state::w_up + j] = logPressureTerm(p, P[j + 1]) + V[j + 1] - p.invariant_velocity_ref;
        x[state::w_down + j] = V[j] - logPressureTerm(p, P[j]) - p.invariant_velocity_ref;
    }
    return P[0];
}

void applyInitialChokeOpening(SimStruct* S, const RigParams& p, double injection_flow) {
    int* iwork = ssGetIWork(S);
    if (iwork[first_output_flag] != 1) return;
    const double z0 =
        initialChokeOpening(p.choke_characteristic, injection_flow, p.initial_top_pressure,
                            p.downstream_pressure, p.density_ref);
    ssGetContStates(S)[state::choke_actuator] = z0;
    iwork[first_output_flag] = 0;
    mexPrintf("Initial choke opening: %f\n", z0);
}

RigTop rigTopBoundary(const RigParams& p, const double* x, double injection_flow) {
    const double a = x[state::w_up + n - 1];
    RigTop top;
    top.choke_coefficient = chokeCoefficient(p.choke_characteristic, x[state::choke_actuator]);
    top.choke_velocity = chokeFlowVelocity(p, a, top.choke_coefficient, injection_flow);
    top.w_down_top =
        boundaryInvariantForVelocity(p, top.choke_velocity - injection_flow / p.annulus_area, a);
    return top;
}

void writeRigOutputs(SimStruct* S, const RigParams& p, const RigBottom& bottom,
                     double injection_flow) {
    const double* x = ssGetContStates(S);
    const double u2 = injection_flow;
    const double a_top = x[state::w_up + n - 1];
    const double b_bottom = x[state::w_down];

    writeOutput(S, output::bottom_flow, bottom.bottom_flow_output);
    writeOutput(S, output::choke_opening, x[state::choke_actuator]);

    const RigTop top = rigTopBoundary(p, x, u2);
    const double top_flow = velocityFromInvariants(p, top.w_down_top, a_top) * p.annulus_area;
    const double choke_flow = top_flow + u2;
    writeOutput(S, output::top_flow, top_flow);
    writeOutput(S, output::choke_flow, choke_flow);

    writeOutput(S, output::bottom_pressure, pressureFromInvariants(p, bottom.w_up_0, b_bottom));

    const double Cv = top.choke_coefficient;
    const double choke_pressure = Cv > 0 ? chokeLawPressure(choke_flow, Cv, top.choke_velocity,
                                                            p.choke_density, p.downstream_pressure)
                                         : pressureFromInvariants(p, a_top, top.w_down_top);
    writeOutput(S, output::choke_pressure, choke_pressure);
    writeOutput(S, output::displacer_pressure, bottom.displacer_pressure_output);

    const WaveProfiles waves{x + state::w_up, bottom.w_up_0, x + state::w_down, top.w_down_top, n,
                             cellLength(p)};
    writeSensorPressures(S, p.num_fixed_outputs, p.sensor_positions, waves,
                         [&p](double a, double b) { return pressureFromInvariants(p, a, b); });
}

// Upwind differences: backward for `w_up` (speed v + c > 0), forward for `w_down` (v - c < 0).
void writeAnnulusDerivatives(SimStruct* S, const RigParams& p, const RigBottom& bottom) {
    const double* s = ssGetContStates(S);
    double* dX = ssGetdX(S);
    const double u0 = inputValue(S, input::choke_setpoint);
    const double u2 = inputValue(S, input::injection_flow);
    const double c = p.sound_speed;

    const RigTop top = rigTopBoundary(p, s, u2);
    const double dx = cellLength(p);

    std::array<double, n> Gup;
    std::array<double, n> Gdown;
    Gup[0] = (s[0] - bottom.w_up_0) / dx;
    for (int k = 1; k < n; ++k)
        Gup[k] = (s[k] - s[k - 1]) / dx;
    for (int k = 0; k < n - 1; ++k)
        Gdown[k] = (s[n + 1 + k] - s[n + k]) / dx;
    Gdown[n - 1] = (top.w_down_top - s[2 * n - 1]) / dx;

    std::array<double, n + 1> V;
    std::array<double, n + 1> F;
    V[0] = bottom.velocity;
    for (int j = 0; j < n - 1; ++j)
        V[j + 1] = (s[j + n + 1] + s[j]) * 0.5 + p.invariant_velocity_ref;
    V[n] = (top.w_down_top + s[n - 1]) * 0.5 + p.invariant_velocity_ref;
    for (int j = 0; j <= n; ++j)
        F[j] = friction(p.friction_linear, p.friction_quadratic, V[j]);

    const double g_s = std::sin(p.inclination) * gravity;
    for (int k = 0; k < n; ++k) {
        dX[state::w_up + k] = -((c + V[k + 1]) * Gup[k]) - g_s - F[k + 1];
        dX[state::w_down + k] = -((V[k] - c) * Gdown[k]) - g_s - F[k];
    }
    dX[state::choke_actuator] =
        chokeActuatorRate(u0, s[state::choke_actuator], p.choke_stroke_time);
}

} // namespace tavrel::rig
