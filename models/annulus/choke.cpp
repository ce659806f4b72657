#include "choke.h"

#include <cmath>
#include <cstddef>

namespace tavrel::rig {

double chokeCoefficient(ParamVector table, double z) {
    const std::size_t M = table.length;
    if (M == 0) return 0.0; // no characteristic: no flow
    if (M == 1) return table[0];
    const double h = 1.0 / static_cast<double>(M - 1);
    const double cell = std::floor(z / h);
    const double last = static_cast<double>(M - 1);
    std::size_t k = 0;
    if (cell >= last) {
        // At z = 1 the entry after the last has weight zero: the result is the last entry.
        if (cell == last && z - last * h == 0.0) return table[M - 1];
        k = M - 2;
    } else if (cell > 0.0) {
        k = static_cast<std::size_t>(cell);
    } // below 0 or not a number: first segment
    return (z - static_cast<double>(k) * h) * (table[k + 1] - table[k]) / h + table[k];
}

namespace {

// Takes the next midpoint of a bisection; false when it is the last one again, i.e. no double
// lies between the bounds any more (far from zero, or among the subnormals, before the
// tolerance is met): the search then ends there instead of repeating itself for ever.
bool narrowed(double& mid, double next) {
    if (next == mid) return false;
    mid = next;
    return true;
}

double outwardFlow(double u, double f, double c) {
    double hi = std::sqrt((1 - u) / f);
    double lo = 0;
    double mid = (hi + lo) * 0.5;
    if (mid > 0) {
        while ((hi - lo) / mid > 1e-4) {
            if (std::exp(-mid / c) > std::pow(mid, 2) * f + u) {
                lo = mid;
            } else {
                hi = mid;
            }
            if (!narrowed(mid, (hi + lo) * 0.5)) break;
        }
    }
    return mid;
}

double inwardFlow(double u, double f, double c) {
    double lo = -std::sqrt(u / f);
    double hi = 0;
    double mid = (lo + hi) * 0.5;
    if (mid < 0) {
        while ((hi - lo) * 0.5 > 1e-4) {
            if (std::exp(-mid / c) > u - std::pow(mid, 2) * f) {
                lo = mid;
            } else {
                hi = mid;
            }
            if (!narrowed(mid, (hi + lo) * 0.5)) break;
        }
    }
    return mid;
}

} // namespace

// The top pressure that the invariants give for choke velocity t, minus downstream_pressure,
// equals sign(t)*choke_density*(A*t/Cv)^2; in terms of E it reads exp(-t/c) = u +- f*t^2.
double chokeFlowVelocity(const RigParams& p, double a, double Cv, double q) {
    if (!(Cv > 0)) return 0;
    const double A = p.annulus_area;
    const double c = p.sound_speed;
    const double K = p.stateOffset();
    const double E = std::exp(-((q / A + p.invariant_velocity_ref) + a) / c);
    const double f =
        (std::pow(A, 2) * p.choke_density) / (std::pow(Cv, 2) * (K + p.invariant_pressure_ref)) * E;
    const double u = (K + p.downstream_pressure) / (K + p.invariant_pressure_ref) * E;
    if (u < 1) return outwardFlow(u, f, c); // annulus above downstream with the choke shut
    if (u >= 1) return inwardFlow(u, f, c);
    return 0; // u not a number
}

double chokeOpeningForCoefficient(ParamVector table, double required) {
    const std::size_t M = table.length;
    if (M == 0) return 0.0;
    if (required >= table[M - 1]) return 1.0;
    if (required <= 0) return 0.0;
    if (required < table[0]) return 0.0; // below a positive first entry: no segment to invert
    if (M < 2) return required;          // only a not-a-number requirement reaches here
    const double h = 1.0 / static_cast<double>(M - 1);
    std::size_t k = 1;
    while (k < M - 1 && !(table[k] > required))
        ++k;
    return (required - table[k - 1]) * h / (table[k] - table[k - 1]) +
           static_cast<double>(k - 1) * h;
}

double initialChokeOpening(ParamVector table, double injection_flow, double initial_top_pressure,
                           double downstream_pressure, double density_ref) {
    const double required =
        injection_flow / std::sqrt((initial_top_pressure - downstream_pressure) / density_ref);
    return chokeOpeningForCoefficient(table, required);
}

double chokeActuatorRate(double setpoint, double z, double stroke_time) {
    const double T = stroke_time;
    double r = (setpoint - z) / (T * 0.1);
    const double limit = 1 / T;
    // Limit to [-1/T, 1/T]; a rate that is not a number becomes 1/T.
    const double upper_bounded = limit > r ? r : limit;
    if (!(upper_bounded > -limit)) {
        r = -limit;
    } else if (!(limit > r)) {
        r = limit;
    }
    // End stops: only the movement that would carry the opening further is stopped.
    if (z >= 1 && r > 0) r = 0;
    if (z <= 0 && r < 0) r = 0;
    return r;
}

} // namespace tavrel::rig
