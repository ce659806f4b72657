#include "observer_fixture.h"

#include <cmath>
#include <vector>

using namespace tavrel::observer;
using namespace tavrel::observer::test;
using tavrel::test::TestRecord;

namespace {

TEST_F(ObserverBlock, DeclaresItsSizesAndPrintsNothing) {
    build();
    SimStruct* S = record->S();
    EXPECT_EQ(ssGetNumSFcnParams(S), param::count);
    EXPECT_EQ(ssGetNumContStates(S), 43);
    EXPECT_EQ(ssGetNumDiscStates(S), 0);
    EXPECT_EQ(ssGetNumIWork(S), 0);
    ASSERT_EQ(ssGetNumInputPorts(S), 2);
    for (int port = 0; port < 2; ++port) {
        EXPECT_EQ(ssGetInputPortWidth(S, port), 1);
        EXPECT_EQ(ssGetInputPortDirectFeedThrough(S, port), 1);
    }
    ASSERT_EQ(ssGetNumOutputPorts(S), 10);
    for (int port = 0; port < 10; ++port)
        EXPECT_EQ(ssGetOutputPortWidth(S, port), 1);

    EXPECT_EQ(record->call(&mdlInitializeSizes), "");
    EXPECT_EQ(record->call(&mdlInitializeConditions), "");
    EXPECT_EQ(record->outputs(&mdlOutputs), "");
    EXPECT_EQ(record->call(&mdlDerivatives), "");
}

TEST_F(ObserverBlock, OutputCountIsTruncatedFixedCountPlusSensors) {
    params[param::num_fixed_outputs] = {6.9};
    params[param::sensor_positions] = {100, 200, 300};
    build();
    EXPECT_EQ(ssGetNumOutputPorts(record->S()), 9);
    params[param::sensor_positions] = {};
    build();
    EXPECT_EQ(ssGetNumOutputPorts(record->S()), 6);
}

TEST_F(ObserverBlock, InitialStateIsTheHydrostaticProfileAtRest) {
    params[param::invariant_velocity_ref] = {0.3};
    build();
    x(state::unused_state) = 123.0;
    record->call(&mdlInitializeConditions);
    const double Z = impedance();
    // w_up at the top carries initial_top_pressure; the bottom is heavier than an
    // incompressible column, but only slightly.
    EXPECT_NEAR(x(state::w_up + 19), (20e5 - 20e5) / Z - 0.3, 1e-12);
    const double bottom = 20e5 - Z * (x(state::w_down) + 0.3);
    const double incompressible = 20e5 + 1300 * 9.81 * 3000;
    EXPECT_GT(bottom, incompressible);
    EXPECT_LT(bottom, 1.03 * incompressible);
    for (int j = 0; j < 19; ++j) { // the fluid stands still at every interior point
        EXPECT_NEAR(x(state::w_up + j) + x(state::w_down + j + 1), -0.6, 1e-12) << j;
    }
    EXPECT_EQ(x(state::displacer_quadrature), 0.01);
    EXPECT_EQ(x(state::displacer_velocity_estimate), 0.01);
    EXPECT_EQ(x(state::unused_state), 123.0);

    params[param::inclination] = {0};
    initialize();
    for (int j = 1; j < 20; ++j) {
        EXPECT_EQ(x(state::w_up + j), x(state::w_up));
        EXPECT_EQ(x(state::w_down + j), x(state::w_down));
    }
}

// From the initial profile with the displacer at rest and matched measurements the outputs give
// back the profile's pressures and no flow.
TEST_F(ObserverBlock, OutputsAtRestRecoverTheProfile) {
    initialize();
    x(state::displacer_velocity_estimate) = 0;
    record->outputs(&mdlOutputs);
    // The compressible column: c^2*density = K + p with K = c^2*density_ref - pressure_ref.
    const double K = 1000.0 * 1000.0 * 1300 - 1e5;
    const double bottom = (K + 20e5) * std::exp(3000 * 9.81 / 1e6) - K;
    EXPECT_NEAR(record->output(output::bottom_pressure), bottom, 1e-6);
    EXPECT_NEAR(record->output(output::top_pressure), 20e5, 1e-6);
    EXPECT_NEAR(record->output(output::top_flow), 0.0, 1e-15);
    EXPECT_EQ(record->output(output::bottom_flow), 0.0);
    EXPECT_EQ(record->output(output::displacer_velocity_estimate), 0.0);
    EXPECT_NEAR(record->output(output::displacer_pressure), bottom + 1300 * 9.81 * 3000, 1e-6);
}

TEST_F(ObserverBlock, DisplacerMotionDrivesBottomFlowAndLosses) {
    initialize();
    const double v = -0.4; // moving down: fluid pushed into the annulus
    x(state::displacer_velocity_estimate) = v;
    record->outputs(&mdlOutputs);
    const double bottom_velocity = -(0.01267 - 0.002) * v / 0.024;
    EXPECT_NEAR(record->output(output::bottom_flow), bottom_velocity * 0.024, 1e-15);
    // The bottom invariant makes the velocity at point 0 the displacer's.
    const double w_up_0 = 2 * bottom_velocity - x(state::w_down);
    const double bottom = pressure(w_up_0, x(state::w_down));
    EXPECT_NEAR(record->output(output::bottom_pressure), bottom, 1e-6);
    EXPECT_NEAR(record->output(output::displacer_pressure),
                bottom + 100 * v + 50 * std::fabs(v) * v + 1300 * 9.81 * 3000, 1e-6);
    EXPECT_EQ(record->output(output::displacer_velocity_estimate), v);
}

// When the model's w_up at the top is the one the measurements imply, the top outputs equal
// the measurements.
TEST_F(ObserverBlock, TopOutputsMatchMeasurementsTheModelAgreesWith) {
    initialize();
    const double Q = 0.015, P = 23e5;
    setMeasurements(Q, P);
    x(state::w_up + 19) = Q / 0.024 + (P - 20e5) / impedance();
    record->outputs(&mdlOutputs);
    EXPECT_NEAR(record->output(output::top_flow), Q, 1e-15);
    EXPECT_NEAR(record->output(output::top_pressure), P, 1e-6);

    setMeasurements(0.0, 20e5); // the reference point: no flow, reference pressure
    x(state::w_up + 19) = 0;
    record->outputs(&mdlOutputs);
    EXPECT_EQ(record->output(output::top_flow), 0.0);
    EXPECT_EQ(record->output(output::top_pressure), 20e5);
}

TEST_F(ObserverBlock, SensorsSampleBothProfiles) {
    const double d = 150; // dx of the 3000 m annulus
    params[param::sensor_positions] = {0, 20 * d, 7.5 * d, 0.4 * d, 19.5 * d};
    initialize();
    for (int k = 0; k < 40; ++k)
        x(k) += 0.01 * std::sin(k); // a profile that is not flat
    setMeasurements(0.01, 21e5);
    record->outputs(&mdlOutputs);
    const double w_up_0 = 2 * (-(0.01267 - 0.002) * 0.01 / 0.024) - x(state::w_down);
    const double w_down_top = 0.01 / 0.024 - (21e5 - 20e5) / impedance();
    auto up = [&](int k) { return x(state::w_up + k); };
    auto down = [&](int k) { return x(state::w_down + k); };

    EXPECT_EQ(record->output(6), record->output(output::bottom_pressure));
    EXPECT_NEAR(record->output(7), record->output(output::top_pressure), 1e-6);
    EXPECT_NEAR(record->output(8), pressure((up(6) + up(7)) / 2, (down(7) + down(8)) / 2), 1e-6);
    EXPECT_NEAR(record->output(9),
                pressure(w_up_0 + 0.4 * (up(0) - w_up_0), down(0) + 0.4 * (down(1) - down(0))),
                1e-6);
    EXPECT_NEAR(record->output(10), pressure((up(18) + up(19)) / 2, (down(19) + w_down_top) / 2),
                1e-6);
}

// Sensor values go to num_fixed_outputs + i; the block writes no port it does not have and
// leaves the ports between the fixed values and the sensors alone.
TEST_F(ObserverBlock, SensorPortsFollowTheFixedOutputs) {
    const double d = 150;
    params[param::sensor_positions] = {0, 10 * d, 20 * d};
    auto layout = [&](double num_fixed) {
        params[param::num_fixed_outputs] = {num_fixed};
        initialize();
        record->outputs(&mdlOutputs);
        return record->outputs();
    };
    const std::vector<double> at6 = layout(6);
    const std::vector<double> sensors(at6.begin() + 6, at6.end());
    ASSERT_EQ(sensors.size(), 3u);

    EXPECT_EQ(layout(6.9), at6);

    std::vector<double> at8 = layout(8);
    ASSERT_EQ(at8.size(), 11u);
    EXPECT_EQ(at8[6], TestRecord::unwritten);
    EXPECT_EQ(at8[7], TestRecord::unwritten);
    EXPECT_EQ(std::vector<double>(at8.begin() + 8, at8.end()), sensors);

    std::vector<double> at4 = layout(4);
    ASSERT_EQ(at4.size(), 7u);
    EXPECT_EQ(std::vector<double>(at4.begin(), at4.begin() + 4),
              std::vector<double>(at6.begin(), at6.begin() + 4));
    EXPECT_EQ(std::vector<double>(at4.begin() + 4, at4.end()), sensors);

    params[param::sensor_positions] = {20 * d};
    std::vector<double> at2 = layout(2); // three ports in all: fewer than the fixed values
    ASSERT_EQ(at2.size(), 3u);
    EXPECT_EQ(at2[0], at6[0]);
    EXPECT_EQ(at2[2], sensors[2]);

    params[param::sensor_positions] = {};
    EXPECT_TRUE(layout(0).empty());
}

} // namespace
