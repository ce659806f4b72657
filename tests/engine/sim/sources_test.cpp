#include "sources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace tavrel::sim;

namespace {

struct Board : SignalBoard {
    double measured = 0;
    double value(const Signal&) const override { return measured; }
};

std::unique_ptr<InputSource> build(const Source& s, int& slots) {
    return compileSource(
        s,
        [](const PortRef&) {
            return Signal{0, true, 0};
        },
        slots);
}

double at(const Source& s, double t) {
    int slots = 0;
    Board board;
    return build(s, slots)->value(t, nullptr, board);
}

TEST(Sources, SignalsOfTime) {
    const Source step{source::Step{.time = 2, .before = 1, .after = 5}};
    EXPECT_EQ(at(step, 1.999), 1);
    EXPECT_EQ(at(step, 2), 5);

    const Source ramp{source::Ramp{.start_time = 1, .slope = 2, .initial = 3}};
    EXPECT_EQ(at(ramp, 0.5), 3);
    EXPECT_DOUBLE_EQ(at(ramp, 2.5), 6);

    const Source sine{
        source::Sine{.amplitude = 0.785, .period = 12, .phase = std::numbers::pi / 2, .offset = 1}};
    EXPECT_NEAR(at(sine, 0), 1.785, 1e-15);
    EXPECT_NEAR(at(sine, 6), 1 - 0.785, 1e-12);

    const Source table{source::Table{.times = {0, 10, 20}, .values = {1, 3, -1}}};
    EXPECT_EQ(at(table, -5), 1);
    EXPECT_DOUBLE_EQ(at(table, 5), 2);
    EXPECT_DOUBLE_EQ(at(table, 15), 1);
    EXPECT_EQ(at(table, 99), -1);

    const Source sum{source::Sum{.terms = {step, table}}};
    EXPECT_DOUBLE_EQ(at(sum, 5), 5 + 2);
}

// A reverse-acting controller (negative gains) opening a choke as the pressure rises above
// its setpoint: limited output, and no wind-up while at a limit.
TEST(Sources, PiControllerLimitsAndStopsIntegratingAtALimit) {
    source::Pi law;
    law.setpoint = 100;
    law.kp = -0.01;
    law.ki = -0.001;
    law.min = 0;
    law.max = 1;
    law.bias = 0.5;
    const Source pi{law};
    int slots = 0;
    auto controller = build(pi, slots);
    ASSERT_EQ(slots, 1);
    Board board;
    double integral = 0, rate = 0;

    board.measured = 120; // above setpoint: open further
    EXPECT_DOUBLE_EQ(controller->value(0, &integral, board), 0.5 + 0.2);
    controller->rates(0, &integral, board, &rate);
    EXPECT_EQ(rate, -20);

    board.measured = 300; // saturated open: the integral holds
    EXPECT_EQ(controller->value(0, &integral, board), 1.0);
    controller->rates(0, &integral, board, &rate);
    EXPECT_EQ(rate, 0);

    board.measured = 90; // error reverses: integrates again even from the limit
    integral = -600;
    controller->rates(0, &integral, board, &rate);
    EXPECT_EQ(rate, 10);
}

TEST(Sources, ConnectionsDependOnTheirBlock) {
    const Source from{source::Connection{}};
    int slots = 0;
    auto source = compileSource(
        from,
        [](const PortRef&) {
            return Signal{3, true, 1};
        },
        slots);
    EXPECT_EQ(source->dependencies(), std::vector<int>{3});
    const Source hold{source::Hold{}};
    auto held = compileSource(
        hold,
        [](const PortRef&) {
            return Signal{3, true, 1};
        },
        slots);
    EXPECT_TRUE(held->dependencies().empty());
    Board board;
    board.measured = 0.42;
    held->captureStart(board);
    board.measured = 7;
    EXPECT_EQ(held->value(0, nullptr, board), 0.42);
}

} // namespace

namespace {

constexpr double pi = std::numbers::pi;

// A record of a source at a fixed step.
std::vector<double> record(const Source& s, double step, size_t count) {
    int slots = 0;
    Board board;
    const auto signal = build(s, slots);
    std::vector<double> values(count);
    for (size_t k = 0; k < count; ++k)
        values[k] = signal->value(double(k) * step, nullptr, board);
    return values;
}

double standardDeviation(const std::vector<double>& x) {
    double mean = 0, square = 0;
    for (double v : x)
        mean += v / double(x.size());
    for (double v : x)
        square += (v - mean) * (v - mean) / double(x.size());
    return std::sqrt(square);
}

// Power of a record in the band of periods [period / 1.05, period * 1.05], from its discrete
// Fourier transform at the frequencies of the record's length.
double bandPower(const std::vector<double>& x, double step, double period) {
    const double length = step * double(x.size());
    double power = 0;
    for (double f = std::ceil(length / (period * 1.05)) / length; f <= 1.05 / period;
         f += 1 / length) {
        double re = 0, im = 0;
        for (size_t k = 0; k < x.size(); ++k) {
            re += x[k] * std::cos(2 * pi * f * double(k) * step);
            im += x[k] * std::sin(2 * pi * f * double(k) * step);
        }
        power += re * re + im * im;
    }
    return power / (2.1 / period - 0.1 / period); // per unit of frequency, about
}

} // namespace

// The heave integrated from the sea's velocity: 4 std is Hs within 5 %, the spectrum peaks at
// Tp, and the seed alone decides the record.
TEST(Sources, SeaHasItsSignificantHeightAndPeakPeriod) {
    const struct {
        source::Sea::Spectrum spectrum;
        double hs, tp, gamma;
    } seas[] = {{source::Sea::Spectrum::jonswap, 3, 12, 3.3},
                {source::Sea::Spectrum::jonswap, 1, 8, 7},
                {source::Sea::Spectrum::pierson_moskowitz, 5, 16, 1}};
    for (const auto& c : seas) {
        source::Sea sea;
        sea.spectrum = c.spectrum;
        sea.hs = c.hs;
        sea.tp = c.tp;
        sea.gamma = c.gamma;
        sea.seed = 7;
        const double step = 0.25;
        const auto velocity = record(Source{sea}, step, 40000); // 10000 s
        std::vector<double> heave(velocity.size());
        for (size_t k = 1; k < heave.size(); ++k) {
            heave[k] = heave[k - 1] + 0.5 * step * (velocity[k - 1] + velocity[k]);
        }
        EXPECT_NEAR(4 * standardDeviation(heave) / c.hs, 1, 0.05) << c.tp;
        const std::vector<double> sample(heave.begin(), heave.begin() + 8000);
        const double peak = bandPower(sample, step, c.tp);
        for (double other : {0.6 * c.tp, 0.8 * c.tp, 1.25 * c.tp, 1.6 * c.tp}) {
            EXPECT_GT(peak, bandPower(sample, step, other)) << c.tp << " against " << other;
        }
    }
    source::Sea sea;
    sea.hs = 3;
    sea.tp = 12;
    sea.seed = 1;
    const auto first = record(Source{sea}, 0.5, 200);
    EXPECT_EQ(first, record(Source{sea}, 0.5, 200));
    sea.seed = 2;
    const auto other = record(Source{sea}, 0.5, 200);
    EXPECT_NE(first, other);
    sea.ramp = 30; // faded in from nothing, the same record after the ramp
    const auto ramped = record(Source{sea}, 0.5, 200);
    EXPECT_EQ(ramped[0], 0);
    EXPECT_EQ(ramped[100], other[100]);
}

TEST(Sources, NoiseHasItsStandardDeviationAndSeed) {
    source::Noise noise;
    noise.std = 0.02;
    noise.bandwidth = 2;
    noise.seed = 3;
    const auto x = record(Source{noise}, 0.05, 40000);
    EXPECT_NEAR(standardDeviation(x) / 0.02, 1, 0.05);
    EXPECT_EQ(x, record(Source{noise}, 0.05, 40000));
    noise.seed = 4;
    EXPECT_NE(x, record(Source{noise}, 0.05, 40000));
}
