#include "linear_choke.h"

#include "linear_waves.h"

#include <cmath>

namespace tavrel::linear {

namespace {

// The quadratic's terms (B*4)*C must lie within the range of doubles for the closed form to
// give the root. They leave it for a choke so nearly shut that B overflows (Cv far below any
// real choke, as an opening decaying towards 0 reaches) and for one so wide that B underflows
// to 0; the textbook roots are then infinite or not numbers on both sides.
bool closedFormInRange(double B, double C) { return B != 0 && std::isfinite((B * 4) * C); }

// The same root of the required sign, 2C / (R + sqrt(R^2 + 4|B||C|)), in a form that neither
// overflows nor divides by B: it tends to 0 as the choke shuts and to C/R as it opens wide.
double rootOutsideClosedFormRange(double B, double R, double C) {
    if (C == 0) return 0; // top at downstream pressure with no choke flow
    const double root_term = std::sqrt(-B) * std::sqrt(std::fabs(C)) * 2;
    return (C * 2) / (R + std::hypot(R, root_term));
}

} // namespace

// Eliminating pc between the two relations gives, with B = -A^2*density_ref/Cv^2 and
// C = pc - downstream_pressure at zero choke flow,
//   B*vc^2 - R*vc + C = 0 for outflow (vc >= 0) and -B*vc^2 - R*vc + C = 0 for inflow (vc <= 0).
// C > 0 gives the positive outflow root r2, C < 0 the negative inflow root s2, C = 0 zero. A
// comparison with a root that is not a number (negative discriminant) is false and passes on
// to the next candidate.
double linearChokeFlowVelocity(const rig::RigParams& p, double a, double Cv, double q) {
    if (!(Cv > 0)) return 0;
    const double A = p.annulus_area;
    const double B = -(std::pow(A, 2) * p.density_ref / std::pow(Cv, 2));
    const double R = linearInvariants(p).impedance;
    const double C = (p.invariant_pressure_ref - p.downstream_pressure) +
                     R * (q / A + (a + p.invariant_velocity_ref));
    const double R2 = std::pow(-R, 2);

    if (closedFormInRange(B, C)) {
        const double D1 = std::sqrt(R2 - (B * 4) * C);
        const double r1 = (D1 + R) / (B * 2);
        const double r2 = (R - D1) / (B * 2);
        if (r1 >= 0) return r1;
        if (r2 >= 0) return r2;

        const double B_in = B * (-1);
        const double D2 = std::sqrt(R2 - (B_in * 4) * C);
        const double s1 = (D2 + R) / (B_in * 2);
        const double s2 = (R - D2) / (B_in * 2);
        if (s1 <= 0) return s1;
        if (s2 <= 0) return s2;
    }
    // No root of the required sign came out of the closed form: its terms left the range of
    // doubles, or an input is not a number (which the scaled form carries through).
    return rootOutsideClosedFormRange(B, R, C);
}

} // namespace tavrel::linear
