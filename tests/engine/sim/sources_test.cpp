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
    return compileSource(s, [](const PortRef&) { return Signal{0, true, 0}; }, slots);
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
    auto source = compileSource(from, [](const PortRef&) { return Signal{3, true, 1}; }, slots);
    EXPECT_EQ(source->dependencies(), std::vector<int>{3});
    const Source hold{source::Hold{}};
    auto held = compileSource(hold, [](const PortRef&) { return Signal{3, true, 1}; }, slots);
    EXPECT_TRUE(held->dependencies().empty());
    Board board;
    board.measured = 0.42;
    held->captureStart(board);
    board.measured = 7;
    EXPECT_EQ(held->value(0, nullptr, board), 0.42);
}

} // namespace
