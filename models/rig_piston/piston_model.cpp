#include "piston_model.h"

#include "piston_declarations.h"
#include "rig_annulus.h"

#include <cmath>

namespace tavrel::piston {

using rig::RigBottom;
using rig::RigParams;
namespace param = rig::param;
namespace input = rig::input;

namespace {

// Volume of each chamber: the space between the passage tube and the displacer over the
// displacer depth, less the passage itself.
double chamberVolume(const RigParams& p) {
    return (p.passage_area_outer * p.displacer_depth - p.passage_area_inner * p.passage_length) -
           (p.displacer_area_inner + p.displacer_area_outer) *
               ((p.displacer_depth - p.passage_length) * 0.5);
}

double passageArea(const RigParams& p) { return p.passage_area_outer - p.passage_area_inner; }

// Pressure difference per unit rate of change of the passage flow.
double passageInertance(const RigParams& p) {
    return (p.passage_length * p.density_ref) / passageArea(p);
}

// The bottom chamber holds the pressure at grid point 0: `w_up` there is the invariant for which
// the pressure of the two invariants equals the chamber pressure.
RigBottom chamberBottom(const SimStruct* S, const RigParams& p) {
    const double* x = ssGetContStates(S);
    const double K = p.stateOffset();
    const double b0 = x[state::w_down];
    const double n = K + x[state::bottom_chamber_pressure];
    const double d = K + p.invariant_pressure_ref;
    RigBottom bottom;
    bottom.w_up_0 = ((p.sound_speed * 2.0) * std::log(n / d)) + b0;
    bottom.velocity = rig::velocityFromInvariants(p, bottom.w_up_0, b0);
    bottom.bottom_flow_output = bottom.velocity; // the bottom velocity, not a volume rate
    bottom.displacer_pressure_output = x[state::displacer_chamber_pressure];
    return bottom;
}

// Chamber pressures change with the net volume rate into the chamber; the pressure difference
// drives the passage flow against friction and the head of the displacer column.
void writeChamberDerivatives(SimStruct* S, const RigParams& p, const RigBottom& bottom) {
    const double* s = ssGetContStates(S);
    double* dX = ssGetdX(S);
    const double u1 = inputValue(S, input::displacer_velocity);
    const double stiffness = p.chamber_bulk_modulus / chamberVolume(p);
    const double q_b = bottom.velocity * p.annulus_area;
    const double q_p = s[state::passage_flow];
    const double A_p = passageArea(p);
    const double M = passageInertance(p);

    dX[state::bottom_chamber_pressure] =
        stiffness * ((p.passage_area_inner - p.displacer_area_outer) * u1 + (q_p - q_b));
    dX[state::displacer_chamber_pressure] =
        stiffness * (-q_p - (p.passage_area_inner - p.displacer_area_inner) * u1);
    dX[state::passage_flow] =
        ((((s[state::displacer_chamber_pressure] - s[state::bottom_chamber_pressure]) -
           (q_p * p.passage_friction_linear) / A_p) -
          (std::fabs(q_p) * (q_p * p.passage_friction_quadratic)) / std::pow(A_p, 2)) -
         rig::displacerHead(p)) *
        (1 / M);
}

} // namespace

void mdlInitializeSizes(SimStruct* S) { rig::declareRigSizes(S, state::count); }

// The annulus at rest on its hydrostatic profile; the bottom chamber at the profile's bottom
// pressure, the displacer chamber higher by the displacer head, and no passage flow.
void mdlInitializeConditions(SimStruct* S) {
    const RigParams p = RigParams::read(S);
    const double bottom_pressure = rig::initializeAnnulus(S, p);
    double* x = ssGetContStates(S);
    x[state::bottom_chamber_pressure] = bottom_pressure;
    x[state::displacer_chamber_pressure] = rig::displacerHead(p) + bottom_pressure;
    x[state::passage_flow] = 0;
}

// The displacer acts on the outputs only through the chamber states.
void mdlOutputs(SimStruct* S, int_T) {
    const RigParams p = RigParams::read(S);
    const double u2 = inputValue(S, input::injection_flow);
    rig::applyInitialChokeOpening(S, p, u2);
    rig::writeRigOutputs(S, p, chamberBottom(S, p), u2);
}

void mdlDerivatives(SimStruct* S) {
    const RigParams p = RigParams::read(S);
    const RigBottom bottom = chamberBottom(S, p);
    rig::writeAnnulusDerivatives(S, p, bottom);
    writeChamberDerivatives(S, p, bottom);
}

} // namespace tavrel::piston
