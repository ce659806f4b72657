// The broadband compensator's methods on a record: the Laguerre chain, the back-off and the
// setpoint against values worked out by hand, and its bumpless start.
#include "sea_compensator_declarations.h"
#include "sea_compensator_model.h"
#include "test_params.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace tavrel::sea_compensator;
using tavrel::test::TestRecord;

namespace {

class SeaCompensator : public ::testing::Test {
  protected:
    std::unique_ptr<TestRecord> record;

    // Pole 2 rad/s, weights 0.5 and -0.25 (the rest 0), stroke 10 s (rate limit 0.1 1/s, lag
    // 1 s), half the rate limit and half the room to the nearer end allowed, mean squares over
    // 20 s; setpoint 400 bar, kp = 1e-8 1/Pa, ki = 2e-9 1/(Pa s), anti-windup 10 s. The
    // choke's area equals its opening, so the feedforward moves the opening by its fraction.
    void SetUp() override {
        record = std::make_unique<TestRecord>(
            tavrel::test::paramsWith(description, {{param::basis_pole, {2.0}},
                                                   {param::filter_weights, {0.5, -0.25}},
                                                   {param::schedule_periods, {12}},
                                                   {param::choke_characteristic, {0, 1}},
                                                   {param::stroke_time, {10}},
                                                   {param::rate_fraction, {0.5}},
                                                   {param::swing_fraction, {0.5}},
                                                   {param::averaging_time, {20}},
                                                   {param::pressure_setpoint, {400e5}},
                                                   {param::proportional_gain, {1e-8}},
                                                   {param::integral_gain, {2e-9}},
                                                   {param::anti_windup_time, {10}}}),
            &mdlInitializeSizes);
        record->call(&mdlInitializeConditions);
    }
    void setInputs(double measured, double reference, double pressure, double opening) {
        record->setInput(input::heave_measurement, measured);
        record->setInput(input::heave_reference, reference);
        record->setInput(input::held_pressure, pressure);
        record->setInput(input::choke_opening, opening);
    }
};

TEST_F(SeaCompensator, LaguerreChainMatchesHandValues) {
    // Heave 0.7 - 0.2 = 0.5, sqrt(2*2)*0.5 = 1: x_k' = -2 x_k - 4 (x_0 + ... + x_(k-1)) + 1.
    setInputs(0.7, 0.2, 400e5, 0.4);
    record->outputs(&mdlOutputs);
    const double x[] = {0.1, -0.2, 0.3};
    for (int k = 0; k < 3; ++k)
        record->state(state::laguerre_0 + k) = x[k];
    record->call(&mdlDerivatives);
    const double expected[] = {0.8, 1.0, 0.8, 0.2, 0.2};
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(record->derivative(state::laguerre_0 + k), expected[k], 1e-15) << k;
    EXPECT_NEAR(record->derivative(state::laguerre_31), 0.2, 1e-15);

    // A mean of 0.25 taken out: the chain driven by sqrt(4)*0.25 = 0.5, the mean by 0.25/60 s.
    record->state(state::measurement_mean) = 0.25;
    record->call(&mdlDerivatives);
    EXPECT_NEAR(record->derivative(state::laguerre_0), 0.3, 1e-15);
    EXPECT_NEAR(record->derivative(state::measurement_mean), 0.25 / 60, 1e-15);
    record->state(state::measurement_mean) = 0;

    // A constant heave's equilibrium: x_0 = sqrt(2a)/a, x_k = -x_(k-1) (the all-pass at 0 is -1).
    for (int k = 0; k < state::filter_order; ++k)
        record->state(state::laguerre_0 + k) = (k % 2 ? -1 : 1) * 0.5;
    record->call(&mdlDerivatives);
    for (int k = 0; k < state::filter_order; ++k)
        EXPECT_NEAR(record->derivative(state::laguerre_0 + k), 0.0, 1e-15) << k;
}

TEST_F(SeaCompensator, BackOffScalesTheFeedforwardToItsBounds) {
    // Feedforward 0.5*0.2 - 0.25*(-0.4) = 0.2; pressure 1 bar above: kp term 0.001, so the held
    // opening 0.401 moves by 0.401*0.2 times the scale. Rate bound 0.5/10 = 0.05 1/s; room half
    // the mean opening's distance to the nearer end.
    const struct {
        const char* what;
        double rate_power, swing_power, integral, opening;
        double scale, setpoint, integral_rate;
    } cases[] = {
        {"within both", 0.0016, 0.01, 0.4, 0.4, 1.0, 0.4812, 2e-4},
        {"rate RMS 0.1: half", 0.01, 0.01, 0.4, 0.4, 0.5, 0.4411, 2e-4},
        {"swing RMS 0.1 over room 0.04", 0.0016, 0.01, 0.08, 0.4, 0.4, 0.081 * 1.08, 2e-4},
        {"both over: the smaller", 0.04, 0.01, 0.08, 0.4, 0.25, 0.081 * 1.05, 2e-4},
        {"at the top: no room, limited", 0.0016, 0.01, 1.0, 0.95, 0.0, 1.0, 1e-4},
        {"limited, choke open: drive stopped", 0.0016, 0.01, 1.0, 1.0, 0.0, 1.0, -1e-4},
    };
    for (const auto& c : cases) {
        setInputs(0.0, 0.0, 401e5, c.opening);
        record->outputs(&mdlOutputs);
        record->state(state::laguerre_0) = 0.2;
        record->state(state::laguerre_1) = -0.4;
        record->state(state::rate_power) = c.rate_power;
        record->state(state::swing_power) = c.swing_power;
        record->state(state::opening_integral) = c.integral;
        record->outputs(&mdlOutputs);
        record->call(&mdlDerivatives);
        EXPECT_NEAR(record->output(output::feedforward_scale), c.scale, 1e-15) << c.what;
        EXPECT_NEAR(record->output(output::choke_setpoint), c.setpoint, 1e-15) << c.what;
        EXPECT_NEAR(record->derivative(state::opening_integral), c.integral_rate, 1e-15) << c.what;
    }
}

TEST_F(SeaCompensator, MeanSquaresFollowTheLaggedFeedforward) {
    // Feedforward 0.2 moves the opening 0.4 by 0.08; against its lagged 0.03 the rate is
    // (0.08 - 0.03)/(0.1*10 s) = 0.05 1/s.
    setInputs(0.0, 0.0, 400e5, 0.4);
    record->outputs(&mdlOutputs);
    record->state(state::laguerre_0) = 0.2;
    record->state(state::laguerre_1) = -0.4;
    record->state(state::lagged_move) = 0.03;
    record->state(state::rate_power) = 0.002;
    record->state(state::swing_power) = 0.05;
    record->call(&mdlDerivatives);
    EXPECT_NEAR(record->derivative(state::lagged_move), 0.05, 1e-15);
    EXPECT_NEAR(record->derivative(state::rate_power), (0.0025 - 0.002) / 20, 1e-15);
    EXPECT_NEAR(record->derivative(state::swing_power), (0.0064 - 0.05) / 20, 1e-15);
}

TEST(SeaCompensatorSchedule, WeightsFollowTheEstimatedPeriod) {
    // Rows (0.5, -0.25) at 8 s and (0.1, 0.3) at 16 s on states 0.2 and -0.4: 0.2 and -0.1; at
    // 12 s halfway, (0.3, 0.025): 0.05. The period is 2 pi sqrt(displacement / measurement power).
    TestRecord record(
        tavrel::test::paramsWith(description, {{param::filter_weights, {0.5, -0.25, 0.1, 0.3}},
                                               {param::schedule_periods, {8, 16}},
                                               {param::choke_characteristic, {0, 1}},
                                               {param::pressure_setpoint, {400e5}}}),
        &mdlInitializeSizes);
    const struct {
        double period, feedforward;
    } cases[] = {{0, 0.2}, {4, 0.2}, {8, 0.2}, {12, 0.05}, {16, -0.1}, {30, -0.1}};
    for (const auto& c : cases) {
        record.call(&mdlInitializeConditions);
        record.setInput(input::held_pressure, 400e5);
        record.setInput(input::choke_opening, 0.4);
        record.outputs(&mdlOutputs);
        record.state(state::laguerre_0) = 0.2;
        record.state(state::laguerre_1) = -0.4;
        const double root = c.period / 6.283185307179586;
        record.state(state::measurement_power) = c.period > 0 ? 1.0 : 0.0;
        record.state(state::displacement_power) = root * root;
        record.outputs(&mdlOutputs);
        EXPECT_NEAR(record.output(output::heave_period), c.period, 1e-12);
        EXPECT_NEAR(record.output(output::choke_setpoint), 0.4 * (1 + c.feedforward), 1e-15)
            << c.period;
    }
}

TEST(SeaCompensatorArea, FeedforwardMovesTheAreaByItsFraction) {
    // The default characteristic, areas 0, 1, 2.5, 5, 10, 20 (1e-4 m2) at openings 0 .. 1 in
    // steps of 0.2. At 0.39 the area is 1 + 0.95*1.5 = 2.425; a fifth more, 2.91, lies 0.164
    // of the way up the step 0.4 .. 0.6; a fifth less, 1.94, 0.6267 of the way up 0.2 .. 0.4.
    TestRecord record(tavrel::test::paramsWith(description, {{param::filter_weights, {1.0}},
                                                             {param::schedule_periods, {12}},
                                                             {param::proportional_gain, {0}},
                                                             {param::pressure_setpoint, {400e5}}}),
                      &mdlInitializeSizes);
    const struct {
        double held, feedforward, setpoint;
    } cases[] = {
        {0.39, 0.2, 0.4 + 0.164 * 0.2},
        {0.39, -0.2, 0.2 + 0.94 / 1.5 * 0.2},
        {0.39, 10.0, 1.0}, // beyond the largest area: fully open
        {0.39, -2.0, 0.0}, // no area below 0: shut
        {0.0, 0.5, 0.0},   // a shut choke has no area to scale
        {1.2, -0.5, 1.0},  // held beyond the travel: moved from its end by -0.2
    };
    for (const auto& c : cases) {
        record.call(&mdlInitializeConditions);
        record.setInput(input::held_pressure, 400e5);
        record.setInput(input::choke_opening, c.held);
        record.outputs(&mdlOutputs);
        record.state(state::laguerre_0) = c.feedforward;
        record.outputs(&mdlOutputs);
        record.call(&mdlDerivatives);
        EXPECT_NEAR(record.output(output::choke_setpoint), std::clamp(c.setpoint, 0.0, 1.0), 1e-15)
            << c.held << " " << c.feedforward;
    }
}

TEST_F(SeaCompensator, FirstOutputsHoldThePresentOpening) {
    setInputs(0.3, 0.0, 401e5, 0.45);
    EXPECT_EQ(record->outputs(&mdlOutputs), "");
    EXPECT_DOUBLE_EQ(record->output(output::choke_setpoint), 0.45);
    EXPECT_DOUBLE_EQ(record->state(state::opening_integral), 0.45 - 0.001);
    setInputs(0.3, 0.0, 402e5, 0.2);
    record->outputs(&mdlOutputs);
    EXPECT_DOUBLE_EQ(record->output(output::choke_setpoint), 0.45 + 0.001);
}

TEST(SeaCompensatorRules, WeightsAndScheduleMustFit) {
    struct Case {
        std::vector<double> periods;
        std::size_t weights;
        const char* weight_problem;
        const char* period_problem;
    };
    const Case cases[] = {
        {{12}, 64, "", ""},
        {{12}, 65, "must have at most 64 entries a row, has 65", ""},
        {{8, 12}, 64, "", ""},
        {{8, 12},
         63,
         "must hold one row of equal length per schedule period: 63 entries for 2 "
         "periods",
         ""},
        {{12, 8}, 4, "", "must be ascending: entry 2 is not above entry 1"},
        {{0, 8}, 4, "", "entry 1 must be > 0"},
    };
    for (const Case& c : cases) {
        auto params = tavrel::defaultParams(description);
        params[param::schedule_periods].assign(c.periods.begin(), c.periods.end());
        params[param::filter_weights].assign(c.weights, 0.1);
        EXPECT_EQ(weightCountRule(params), c.weight_problem) << c.weights;
        EXPECT_EQ(schedulePeriodsRule(params), c.period_problem) << c.weights;
    }
}

} // namespace
