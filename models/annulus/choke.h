// The choke at the top of the annulus: its flow coefficient against opening, the flow that
// balances the arriving invariant against the choke's square law, the opening that holds the
// initial profile, and the rate-limited actuator.
#pragma once

#include "rig_invariants.h"

namespace tavrel::rig {

// Flow coefficient at opening z, interpolated in `choke_characteristic` (entries at the
// openings 0, 1/(M-1), ..., 1). Openings outside [0, 1] extend the first or last segment.
double chokeCoefficient(ParamVector table, double z);

// Choke velocity t (choke volume rate / annulus_area, positive outward) for the arriving
// `w_up` a at the top, coefficient Cv and injection flow q, found by bisection.
double chokeFlowVelocity(const RigParams& p, double a, double Cv, double q);

// Opening whose coefficient equals `required` by inverse interpolation of the table; 0 for a
// coefficient at or below 0 or below the table's first entry, 1 at or above its last.
double chokeOpeningForCoefficient(ParamVector table, double required);

// Initial opening: the one whose coefficient passes the injection flow alone across the
// initial top pressure, with density_ref in the choke law.
double initialChokeOpening(ParamVector table, double injection_flow, double initial_top_pressure,
                           double downstream_pressure, double density_ref);

// Rate of the choke actuator: first-order lag with time constant 0.1*stroke_time towards the
// setpoint, limited to a full stroke in stroke_time, stopped at the ends of travel.
double chokeActuatorRate(double setpoint, double z, double stroke_time);

// sign(t) as t/|t|, with 0 at t = 0 (flow at rest).
inline double flowDirection(double t) { return t == 0.0 ? 0.0 : t / std::fabs(t); }

// Pressure ahead of an open choke (Cv > 0) from its square law: downstream_pressure plus
// choke_density*(choke_flow/Cv)^2 in the direction of the choke velocity t.
inline double chokeLawPressure(double choke_flow, double Cv, double t, double choke_density,
                               double downstream_pressure) {
    return std::pow(choke_flow / Cv, 2) * (flowDirection(t) * choke_density) + downstream_pressure;
}

} // namespace tavrel::rig
