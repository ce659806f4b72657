#include "observer_estimator.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace tavrel::observer {

namespace {

constexpr int top_w_up = state::w_up + state::cells - 1; // `w_up` at grid point 20

// Half the upward invariant, in volume-rate form A*(p/Z + v), that a top pressure and flow
// imply, scaled by exp(Kd): the correction of `w_up` at the top is weighted by exp(-Kd), so it
// takes the innovation at full weight. The head of the whole annulus is added to the pressure
// of both terms and cancels in their difference.
double topWaveTerm(const ObserverParams& p, double top_pressure, double top_flow, double Kd) {
    const double A = p.annulus_area;
    const double Z = p.impedance();
    const double H = ((p.density_ref * gravity) * std::sin(p.inclination)) * p.annulus_length;
    return ((((A / Z) * (H + top_pressure)) + top_flow) * 0.5) * std::exp(Kd);
}

} // namespace

ObserverBoundary observerBoundary(const ObserverParams& p, const double* x,
                                  double measured_top_flow, double measured_top_pressure) {
    ObserverBoundary b;
    b.bottom_velocity =
        displacerBottomVelocity(p.displacer_area_outer, p.displacer_area_inner,
                                x[state::displacer_velocity_estimate], p.annulus_area);
    b.w_up_0 =
        boundaryInvariantForVelocity(b.bottom_velocity, p.invariant_velocity_ref, x[state::w_down]);
    // Unlike the other invariants, this one carries no reference velocity.
    b.w_down_top = measured_top_flow / p.annulus_area -
                   (measured_top_pressure - p.invariant_pressure_ref) * (1.0 / p.impedance());
    return b;
}

double dampingExponent(const ObserverParams& p) {
    return (p.annulus_length * p.friction_linear) / ((p.density_ref * 2) * p.sound_speed);
}

double innovation(const ObserverParams& p, const double* x, double w_down_top,
                  double measured_top_flow, double measured_top_pressure) {
    const double Z = p.impedance();
    const double w_up_top = x[top_w_up];
    const double model_top_flow = p.invariants().velocity(w_down_top, w_up_top) * p.annulus_area;
    const double model_top_pressure =
        ((Z * 0.5) * (w_up_top - w_down_top)) + p.invariant_pressure_ref;
    const double Kd = dampingExponent(p);
    const double measured = topWaveTerm(p, measured_top_pressure, measured_top_flow, Kd);
    const double model = topWaveTerm(p, model_top_pressure, model_top_flow, Kd);
    return measured - model;
}

GridValues sampleGainProfile(ParamVector profile, double annulus_length) {
    GridValues g;
    if (profile.length == 0) {
        g.fill(0.0);
        return g;
    }
    const std::size_t last = profile.length - 1;
    if (last == 0) {
        g.fill(profile[0]);
        return g;
    }
    const double L = annulus_length;
    const double s = L / static_cast<double>(last);
    for (int i = 0; i < grid_points; ++i) {
        const double z = (static_cast<double>(i) * L) / static_cast<double>(state::cells);
        const double q = std::floor(z / s);
        if (std::isnan(q)) {
            g[i] = std::numeric_limits<double>::quiet_NaN();
        } else if (q >= static_cast<double>(last)) {
            // The top of the profile: the entry after the last would have weight zero.
            g[i] = profile[last];
        } else {
            const std::size_t k = q > 0.0 ? static_cast<std::size_t>(q) : 0;
            const double start = static_cast<double>(k) * s;
            g[i] = ((z - start) * (profile[k + 1] - profile[k])) / s + profile[k];
        }
    }
    return g;
}

} // namespace tavrel::observer
