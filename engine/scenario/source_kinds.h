// Where an input port's value comes from: one struct per kind of source. A kind is its struct
// here, its row in the syntax table of scenario_sources.cpp and its evaluation in
// run/sources.cpp; the compiler refuses a kind that lacks an evaluation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tavrel::sim {

// Reference to a block's port: "rig.bottom_pressure", "rig.sensor_pressure[2]".
struct PortRef {
    std::string block;
    std::string port;
};

struct Source;

namespace source {

struct Constant {
    double value = 0;
};

// `before` until `time`, `after` from then on.
struct Step {
    double time = 0, before = 0, after = 0;
};

// `initial` until `start_time`, then rising by `slope` per second.
struct Ramp {
    double start_time = 0, slope = 0, initial = 0;
};

// offset + amplitude * sin(2 pi t / period + phase)
struct Sine {
    double amplitude = 0, period = 1, phase = 0, offset = 0;
};

// Piecewise linear between the rows, held at the first and last values outside them; or, with
// `hold` (interpolation = "previous"), each value held from its time until the next row's, the
// run stopping and restarting its solver at each of those times.
struct Table {
    std::vector<double> times, values;
    bool hold = false;
};

struct Sum {
    std::vector<Source> terms;
};

// Follows another block's port as it changes.
struct Connection {
    PortRef port;
};

// The port's value after the first outputs call, held for the whole run.
struct Hold {
    PortRef port;
};

// PI controller on `measure`: output = bias + kp*e + ki*integral(e), e = setpoint - measured,
// limited to [min, max]; the integral stops while the output is held at a limit.
struct Pi {
    PortRef measure;
    double setpoint = 0, kp = 0, ki = 0, min = -1e300, max = 1e300, bias = 0;
    std::optional<PortRef> bias_from; // bias held from a port's value at the start
};

// The heave velocity of an irregular sea [m/s]: the heave has the wave spectrum of significant
// height `hs` and peak period `tp` (JONSWAP with peak enhancement `gamma`, or Pierson-Moskowitz),
// made of `components` sines of random phases, their frequencies jittered inside equal bins
// (the record does not repeat), faded in over `ramp` seconds; the same for the same seed.
struct Sea {
    enum class Spectrum { jonswap, pierson_moskowitz };
    Spectrum spectrum = Spectrum::jonswap;
    double hs = 0, tp = 0, gamma = 3.3, ramp = 0;
    std::uint64_t seed = 0;
    int components = 200;
};

// Band-limited Gaussian noise for a sensor: standard deviation `std`, a flat spectrum from 0 to
// `bandwidth` Hz, made of random-phase sines (smooth in time, so the solver's steps are not cut
// down by it); the same for the same seed.
struct Noise {
    double std = 0, bandwidth = 0;
    std::uint64_t seed = 0;
    int components = 256;
};

} // namespace source

struct Source {
    std::variant<source::Constant, source::Step, source::Ramp, source::Sine, source::Table,
                 source::Sum, source::Connection, source::Hold, source::Pi, source::Sea,
                 source::Noise>
        kind;

    template <typename Kind> const Kind* as() const { return std::get_if<Kind>(&kind); }
};

} // namespace tavrel::sim
