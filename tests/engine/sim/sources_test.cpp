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
    Source step;
    step.kind = Source::Kind::step;
    step.time = 2;
    step.before = 1;
    step.after = 5;
    EXPECT_EQ(at(step, 1.999), 1);
    EXPECT_EQ(at(step, 2), 5);

    Source ramp;
    ramp.kind = Source::Kind::ramp;
    ramp.start_time = 1;
    ramp.slope = 2;
    ramp.initial = 3;
    EXPECT_EQ(at(ramp, 0.5), 3);
    EXPECT_DOUBLE_EQ(at(ramp, 2.5), 6);

    Source sine;
    sine.kind = Source::Kind::sine;
    sine.amplitude = 0.785;
    sine.period = 12;
    sine.phase = std::numbers::pi / 2;
    sine.offset = 1;
    EXPECT_NEAR(at(sine, 0), 1.785, 1e-15);
    EXPECT_NEAR(at(sine, 6), 1 - 0.785, 1e-12);

    Source table;
    table.kind = Source::Kind::table;
    table.table_times = {0, 10, 20};
    table.table_values = {1, 3, -1};
    EXPECT_EQ(at(table, -5), 1);
    EXPECT_DOUBLE_EQ(at(table, 5), 2);
    EXPECT_DOUBLE_EQ(at(table, 15), 1);
    EXPECT_EQ(at(table, 99), -1);

    Source sum;
    sum.kind = Source::Kind::sum;
    sum.terms = {step, table};
    EXPECT_DOUBLE_EQ(at(sum, 5), 5 + 2);
}

// A reverse-acting controller (negative gains) opening a choke as the pressure rises above
// its setpoint: limited output, and no wind-up while at a limit.
TEST(Sources, PiControllerLimitsAndStopsIntegratingAtALimit) {
    Source pi;
    pi.kind = Source::Kind::pi;
    pi.setpoint = 100;
    pi.kp = -0.01;
    pi.ki = -0.001;
    pi.min = 0;
    pi.max = 1;
    pi.bias = 0.5;
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
    Source from;
    from.kind = Source::Kind::connection;
    int slots = 0;
    auto source = compileSource(from, [](const PortRef&) { return Signal{3, true, 1}; }, slots);
    EXPECT_EQ(source->dependencies(), std::vector<int>{3});
    Source hold = from;
    hold.kind = Source::Kind::hold;
    auto held = compileSource(hold, [](const PortRef&) { return Signal{3, true, 1}; }, slots);
    EXPECT_TRUE(held->dependencies().empty());
    Board board;
    board.measured = 0.42;
    held->captureStart(board);
    board.measured = 7;
    EXPECT_EQ(held->value(0, nullptr, board), 0.42);
}

} // namespace
