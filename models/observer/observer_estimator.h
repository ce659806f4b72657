// The pieces of the estimator that the observer's outputs and derivatives share: the boundary
// values of the 20-cell wave model, the innovation that compares the measured top flow and
// pressure with the model's, and the correction gains along the annulus.
#pragma once

#include "observer_declarations.h"

#include <array>

namespace tavrel::observer {

constexpr int grid_points = state::cells + 1;
using GridValues = std::array<double, grid_points>;

// The invariants that are not states, formed afresh at each call.
struct ObserverBoundary {
    double bottom_velocity; // imposed by the estimated displacer velocity
    double w_up_0;          // `w_up` at the bottom, grid point 0
    double w_down_top;      // `w_down` at the top, grid point 20, from the measurements
};

ObserverBoundary observerBoundary(const ObserverParams& p, const double* x,
                                  double measured_top_flow, double measured_top_pressure);

// Kd: the friction damping of a wave over the whole annulus, as an exponent.
double dampingExponent(const ObserverParams& p);

// The mismatch between the measured top flow and pressure and the model's top flow and pressure
// (formed with `w_up` at the top, x[19], and the measured boundary `w_down`), each combined into
// the upward invariant it implies and scaled by exp(Kd).
double innovation(const ObserverParams& p, const double* x, double w_down_top,
                  double measured_top_flow, double measured_top_pressure);

// A gain profile (entries at equal spacing from the bottom to the top of an annulus of length
// `annulus_length`) sampled at the 21 grid points by linear interpolation. One entry is a
// constant gain and no entry a gain of zero; no entry beyond the profile's end is read.
GridValues sampleGainProfile(ParamVector profile, double annulus_length);

} // namespace tavrel::observer
