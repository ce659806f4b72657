// The heave compensator's methods on a record: setpoint and derivatives against values worked
// out by hand, its limits and anti-windup, and its bumpless start.
#include "compensator_declarations.h"
#include "compensator_model.h"
#include "test_params.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace tavrel::compensator;
using tavrel::test::TestRecord;

namespace {

class Compensator : public ::testing::Test {
  protected:
    std::unique_ptr<TestRecord> record;

    // w = 0.5 rad/s, bandwidth 0.2 rad/s, advance 1 s, feedforward 0.3 s/m, setpoint 400 bar,
    // kp = 1e-8 1/Pa, ki = 2e-9 1/(Pa s), anti-windup 10 s, outlet 1 bar, tuned at a 21 bar
    // top pressure, its mean over 20 s, the schedule's exponent 0.5; adaptation at 0.05 1/s
    // with a plant of 20 bar per unit opening a quarter turn ahead.
    void SetUp() override {
        record = std::make_unique<TestRecord>(
            tavrel::test::paramsWith(description, {{param::displacer_frequency, {0.5}},
                                                   {param::filter_bandwidth, {0.2}},
                                                   {param::advance_time, {1.0}},
                                                   {param::feedforward_gain, {0.3}},
                                                   {param::pressure_setpoint, {400e5}},
                                                   {param::proportional_gain, {1e-8}},
                                                   {param::integral_gain, {2e-9}},
                                                   {param::anti_windup_time, {10}},
                                                   {param::downstream_pressure, {1e5}},
                                                   {param::tuning_top_pressure, {21e5}},
                                                   {param::top_pressure_filter_time, {20}},
                                                   {param::schedule_exponent, {0.5}},
                                                   {param::adaptation_rate, {0.05}},
                                                   {param::plant_gain, {2e6}},
                                                   {param::plant_phase, {M_PI / 2}}}),
            &mdlInitializeSizes);
        record->call(&mdlInitializeConditions);
    }
    // The top pressure at the tuning's unless told: the feedforward gain unscheduled.
    void setInputs(double velocity, double pressure, double opening, double top = 21e5) {
        record->setInput(input::displacer_velocity_estimate, velocity);
        record->setInput(input::held_pressure, pressure);
        record->setInput(input::choke_opening, opening);
        record->setInput(input::top_pressure, top);
    }
    // States after the first outputs call, so that the bumpless start is over.
    void place(double filtered, double quadrature, double integral) {
        record->outputs(&mdlOutputs);
        record->state(state::filtered_velocity) = filtered;
        record->state(state::quadrature_velocity) = quadrature;
        record->state(state::opening_integral) = integral;
    }
};

TEST_F(Compensator, SetpointAndDerivativesMatchHandValues) {
    // Advanced velocity cos(0.5)*0.2 + sin(0.5)*(-0.1) = 0.12757395851765424 m/s.
    const struct {
        const char* what;
        double integral, pressure, opening;
        double setpoint, integral_rate;
    } cases[] = {
        {"inside the limits", 0.4, 401e5, 0.45, 0.4392721875552963, 2e-4},
        {"above 1: pulled back", 0.99, 403e5, 0.9, 1.0, -0.0025272187555296375},
        {"above 1, choke open: drive stopped", 0.99, 403e5, 1.0, 1.0, -0.0031272187555296373},
        {"below 0: pulled back", -0.1, 397e5, 0.1, 0.0, 0.005872781244470374},
        {"below 0, choke shut: drive stopped", -0.1, 397e5, 0.0, 0.0, 0.006472781244470374},
    };
    for (const auto& c : cases) {
        setInputs(0.5, c.pressure, c.opening);
        place(0.2, -0.1, c.integral);
        record->outputs(&mdlOutputs);
        record->call(&mdlDerivatives);
        EXPECT_NEAR(record->output(output::choke_setpoint), c.setpoint, 1e-15) << c.what;
        EXPECT_NEAR(record->derivative(state::opening_integral), c.integral_rate, 1e-15) << c.what;
        // Resonator: 0.2*(0.5 - 0.2) - 0.1*0.5 and -(0.2*0.5), whatever the pressure.
        EXPECT_NEAR(record->derivative(state::filtered_velocity), 0.01, 1e-15) << c.what;
        EXPECT_NEAR(record->derivative(state::quadrature_velocity), -0.1, 1e-15) << c.what;
    }
}

TEST_F(Compensator, FeedforwardGainFollowsTheMeanDropOverTheChoke) {
    // Advanced velocity 0.12757395851765424 m/s as above; integral 0.4, pressure at the
    // setpoint. The gain scales by the root of 20 bar over the mean drop, the drop counted at
    // 2 bar at least.
    const struct {
        const char* what;
        double mean_top, schedule;
    } cases[] = {
        {"at the tuning", 21e5, 1.0},
        {"half the drop", 11e5, std::sqrt(2.0)},
        {"twice the drop", 41e5, std::sqrt(0.5)},
        {"near the outlet: capped", 1.5e5, std::sqrt(10.0)},
        {"below the outlet: capped", 0.5e5, std::sqrt(10.0)},
    };
    for (const auto& c : cases) {
        setInputs(0.5, 400e5, 0.45, 25e5);
        place(0.2, -0.1, 0.4);
        record->state(state::mean_top_pressure) = c.mean_top;
        record->outputs(&mdlOutputs);
        record->call(&mdlDerivatives);
        EXPECT_NEAR(record->output(output::choke_setpoint),
                    0.4 + 0.3 * c.schedule * 0.12757395851765424, 1e-15)
            << c.what;
        EXPECT_NEAR(record->derivative(state::mean_top_pressure), (25e5 - c.mean_top) / 20, 1e-9)
            << c.what;
    }
}

TEST_F(Compensator, AdaptationDescendsThePressureOscillation) {
    // Heave a = 0.4, b = -0.3 (power 0.25 m2/s2); through the plant's quarter turn the
    // regressor is (b, -a). Pressure error 1 bar on pressure_in_phase = 1 bar, so its quadrature
    // is pressure_quadrature, 2 bar. Step 0.05/(2e6*0.25) = 1e-7:
    // w_a' = -(-0.3*1e5 - 0.4*2e5)*1e-7, w_b' = -(-0.4*1e5 + 0.3*2e5)*1e-7.
    const struct {
        const char* what;
        double wa, wb;
        double rate_a, rate_b;
    } cases[] = {
        {"inside the bound", 0.1, 0.2, 0.011, -0.002},
        {"at 1.5 times the gain: turns, does not grow", 0.45, 0.0, 0.0, -0.002},
    };
    for (const auto& c : cases) {
        setInputs(0.4, 401e5, 0.4);
        place(0.4, -0.3, 0.4);
        record->state(state::feedforward_in_phase) = c.wa;
        record->state(state::feedforward_quadrature) = c.wb;
        record->state(state::pressure_in_phase) = 1e5;
        record->state(state::pressure_quadrature) = 2e5;
        record->call(&mdlDerivatives);
        EXPECT_NEAR(record->derivative(state::feedforward_in_phase), c.rate_a, 1e-12) << c.what;
        EXPECT_NEAR(record->derivative(state::feedforward_quadrature), c.rate_b, 1e-12) << c.what;
        // The pressure's resonator: 0.5*2e5 + 0.2*(1e5 - 1e5) and -(0.5*1e5).
        EXPECT_NEAR(record->derivative(state::pressure_in_phase), 1e5, 1e-6) << c.what;
        EXPECT_NEAR(record->derivative(state::pressure_quadrature), -0.5e5, 1e-6) << c.what;
    }
}

TEST_F(Compensator, FirstOutputsHoldThePresentOpening) {
    setInputs(0.5, 401e5, 0.45, 11e5);
    EXPECT_EQ(record->outputs(&mdlOutputs), "");
    EXPECT_DOUBLE_EQ(record->output(output::choke_setpoint), 0.45);
    EXPECT_DOUBLE_EQ(record->state(state::opening_integral), 0.45 - 0.001);
    // The mean top pressure starts at the measured one.
    EXPECT_DOUBLE_EQ(record->state(state::mean_top_pressure), 11e5);
    // Later calls follow the pressure instead of taking the opening again.
    setInputs(0.5, 402e5, 0.2);
    record->outputs(&mdlOutputs);
    EXPECT_DOUBLE_EQ(record->output(output::choke_setpoint), 0.45 + 0.001);
}

TEST_F(Compensator, ResonatorPassesTheHeaveAndBlocksItsOffset) {
    // A steady sinusoid at w is an equilibrium of the resonator: a = v, b = v'/w.
    for (double t : {0.0, 1.3, 4.0}) {
        setInputs(std::sin(0.5 * t), 412e5, 0.4);
        place(std::sin(0.5 * t), std::cos(0.5 * t), 0.4);
        record->call(&mdlDerivatives);
        EXPECT_NEAR(record->derivative(state::filtered_velocity), 0.5 * std::cos(0.5 * t), 1e-15);
        EXPECT_NEAR(record->derivative(state::quadrature_velocity), -0.5 * std::sin(0.5 * t),
                    1e-15);
    }
    // A constant estimate: the resonator at rest with a = 0 starts no drift of b.
    setInputs(0.3, 412e5, 0.4);
    place(0.0, 0.0, 0.4);
    record->call(&mdlDerivatives);
    EXPECT_NEAR(record->derivative(state::quadrature_velocity), 0.0, 1e-15);
}

} // namespace
