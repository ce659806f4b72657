#include "profile_interp.h"

#include <cmath>
#include <limits>

namespace tavrel {

namespace {

// Cell index floor(q) as an integer, clamped to the cells 0..last that have a next value: a
// q that rounding or a degenerate grid puts outside (or not a number) never becomes an index
// outside the profile.
int cellIndex(double q, int last) {
    if (!(q > 0.0) || last <= 0) return 0;
    if (q >= static_cast<double>(last)) return last;
    return static_cast<int>(std::floor(q));
}

// A grid without a positive cell length has no positions to sample.
bool noGrid(int n, double dx) { return n <= 0 || !(dx > 0.0); }

// Straight line between `base` at the start of a cell and `next` one cell further.
double alongCell(double into_cell, double base, double next, double dx) {
    return (into_cell * (next - base)) / dx + base;
}

} // namespace

// A position below 0 or above n*dx is taken as the nearest end of the grid, so that no
// position can index outside the profile; a sensor placed exactly at the conduit's length can
// lie one rounding step above n*dx. A position that is not a number, or any position on a grid
// without a usable cell length (a missing conduit length), gives not-a-number.
void interpProfileStartBoundary(const double* profile, const double* positions, double* results,
                                int n, int m, double dx, double boundary) {
    const double end = static_cast<double>(n) * dx;
    for (int i = 0; i < m; ++i) {
        const double x = positions[i];
        if (std::isnan(x) || noGrid(n, dx)) {
            results[i] = std::numeric_limits<double>::quiet_NaN();
        } else if (x < 0.0) {
            results[i] = boundary;
        } else if (x < dx) {
            results[i] = ((profile[0] - boundary) * x) / dx + boundary;
        } else if (x >= end) {
            // The interval rule gives the value after the last one weight zero here.
            results[i] = profile[n - 1];
        } else {
            const int k = cellIndex((x - dx) / dx, n - 2); // n-2: rounding just below n*dx
            const double start = static_cast<double>(k + 1) * dx;
            results[i] = alongCell(x - start, profile[k], profile[k + 1], dx);
        }
    }
}

void interpProfileEndBoundary(const double* profile, const double* positions, double* results,
                              int n, int m, double dx, double boundary) {
    const double last_start = static_cast<double>(n - 1) * dx;
    const double end = static_cast<double>(n) * dx;
    for (int i = 0; i < m; ++i) {
        const double x = positions[i];
        if (std::isnan(x) || noGrid(n, dx)) {
            results[i] = std::numeric_limits<double>::quiet_NaN();
        } else if (x > end) {
            results[i] = boundary;
        } else if (last_start <= x) {
            results[i] = ((x - last_start) * (boundary - profile[n - 1])) / dx + profile[n - 1];
        } else if (x < 0.0) {
            results[i] = profile[0];
        } else {
            const int k = cellIndex(x / dx, n - 2); // n-2: rounding just below (n-1)*dx
            const double start = static_cast<double>(k) * dx;
            results[i] = alongCell(x - start, profile[k], profile[k + 1], dx);
        }
    }
}

} // namespace tavrel
