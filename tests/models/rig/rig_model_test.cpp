#include "choke.h"
#include "rig_declarations.h"
#include "rig_model.h"
#include "rig_test_params.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace tavrel;
using namespace tavrel::rig;

namespace {

class RigModel : public ::testing::Test {
  protected:
    test::ParamList params = test::defaultRigParams();
    std::unique_ptr<test::TestRecord> record;

    void build() { record = std::make_unique<test::TestRecord>(params, &mdlInitializeSizes); }
    RigParams p() { return RigParams::read(record->S()); }
    std::string initialize(double injection = 0.01) {
        build();
        record->call(&mdlInitializeConditions);
        record->setInput(input::injection_flow, injection);
        return record->outputs(&mdlOutputs);
    }
    double pointPressure(int j) { // grid points 1 .. 149
        return pressureFromInvariants(p(), record->state(state::w_up + j - 1),
                                      record->state(state::w_down + j));
    }
    double pointVelocity(int j) {
        return velocityFromInvariants(p(), record->state(state::w_up + j - 1),
                                      record->state(state::w_down + j));
    }
};

TEST_F(RigModel, DeclaresItsSizes) {
    build();
    SimStruct* S = record->S();
    EXPECT_EQ(ssGetNumSFcnParams(S), param::count);
    EXPECT_EQ(ssGetNumContStates(S), 302);
    EXPECT_EQ(ssGetNumDiscStates(S), 0);
    EXPECT_EQ(ssGetNumInputPorts(S), 3);
    EXPECT_EQ(ssGetNumIWork(S), 1);
    EXPECT_EQ(ssGetNumOutputPorts(S), 11);
    EXPECT_EQ(ssGetInputPortDirectFeedThrough(S, input::choke_setpoint), 0);
    EXPECT_EQ(ssGetInputPortDirectFeedThrough(S, input::displacer_velocity), 1);
    EXPECT_EQ(ssGetInputPortDirectFeedThrough(S, input::injection_flow), 1);
    for (int port = 0; port < 11; ++port)
        EXPECT_EQ(ssGetOutputPortWidth(S, port), 1);
}

TEST_F(RigModel, OutputCountFollowsTruncatedFixedCountAndSensors) {
    params[param::num_fixed_outputs] = {7.9};
    params[param::sensor_positions] = {};
    build();
    EXPECT_EQ(ssGetNumOutputPorts(record->S()), 7);
}

TEST_F(RigModel, InitialProfileIsHydrostaticAtRest) {
    initialize();
    const RigParams rp = p();
    const double dx = rp.annulus_length / 150;
    for (int j = 1; j < 150; ++j) {
        const double expected = hydrostaticPressure(rp.hydrostatics(), j, dx);
        EXPECT_NEAR(pointPressure(j), expected, 1e-7 * expected) << j;
        EXPECT_NEAR(pointVelocity(j), 0.0, 1e-12) << j;
    }
    // Top at initial_top_pressure, bottom heavier by about rho*g*L.
    EXPECT_NEAR(hydrostaticPressure(rp.hydrostatics(), 150, dx), 20e5, 1e-6);
    // The fluid is slightly compressible: denser, hence heavier, toward the bottom.
    const double incompressible = 20e5 + 1300 * 9.81 * 3000;
    EXPECT_GT(record->output(output::bottom_pressure), incompressible);
    EXPECT_LT(record->output(output::bottom_pressure), 1.03 * incompressible);
    // With the invariant reference at the top pressure, `w_up` at the top is -v_ref.
    EXPECT_NEAR(record->state(state::w_up + 149), 0.0, 1e-12);
    EXPECT_EQ(record->state(state::bottom_velocity_lag), 0.0);
}

TEST_F(RigModel, HorizontalAnnulusHasUniformPressure) {
    params[param::inclination] = {0};
    initialize();
    for (int j = 1; j < 150; ++j)
        EXPECT_NEAR(pointPressure(j), 20e5, 1e-6) << j;
    for (int k = 1; k < 150; ++k)
        EXPECT_EQ(record->state(k), record->state(0));
}

// The logarithm of the hydrostatic profile is linear in x, so the upwind differences are exact
// and balance gravity, for any inclination and reference velocity.
TEST_F(RigModel, HydrostaticStateHasZeroWaveDerivatives) {
    for (double inclination : {M_PI / 2, M_PI / 6, 0.0}) {
        for (double v_ref : {0.0, 0.3}) {
            params[param::inclination] = {inclination};
            params[param::invariant_velocity_ref] = {v_ref};
            initialize();
            record->setInput(input::choke_setpoint, record->state(state::choke_opening));
            record->call(&mdlDerivatives);
            for (int k = 0; k < 299; ++k) {
                // The top point's velocity carries the choke solver's tolerance.
                const double tolerance = k == 149 ? 1e-5 : 1e-8;
                EXPECT_NEAR(record->derivative(k), 0.0, tolerance) << k << " at " << inclination;
            }
            EXPECT_EQ(record->derivative(state::choke_opening), 0.0);
        }
    }
}

TEST_F(RigModel, FirstOutputsSetAndPrintTheInitialOpeningOnce) {
    const std::string console = initialize(0.01);
    const double z0 = record->state(state::choke_opening);
    const RigParams rp = p();
    EXPECT_NEAR(z0, initialChokeOpening(rp.choke_characteristic, 0.01, 20e5, 1e5, 1300), 0);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Initial choke opening: %f\n", z0);
    EXPECT_EQ(console, expected);
    EXPECT_EQ(record->iwork()[first_output_flag], 0);
    EXPECT_EQ(record->output(output::choke_opening), z0);
    EXPECT_EQ(record->outputs(&mdlOutputs), "");
    record->call(&mdlInitializeConditions);
    EXPECT_EQ(record->outputs(&mdlOutputs), expected);
}

TEST_F(RigModel, NoInjectionFlowStartsWithTheChokeShut) {
    EXPECT_EQ(initialize(0.0), "Initial choke opening: 0.000000\n");
    EXPECT_EQ(record->state(state::choke_opening), 0.0);
    // Shut choke: no choke flow, the injection flow goes down the annulus, and the choke
    // pressure is the top pressure of the invariants.
    record->setInput(input::injection_flow, 0.004);
    record->outputs(&mdlOutputs);
    EXPECT_NEAR(record->output(output::choke_flow), 0.0, 1e-15);
    EXPECT_NEAR(record->output(output::top_flow), -0.004, 1e-15);
    EXPECT_GT(record->output(output::choke_pressure), 19e5);
}

TEST_F(RigModel, OutputsAtRestAgreeWithEachOther) {
    initialize(0.01);
    const double y0 = record->output(output::bottom_pressure);
    EXPECT_NEAR(record->output(output::displacer_pressure) - y0, 1300 * 9.81 * 3000, 1e-6);
    EXPECT_EQ(record->output(output::bottom_flow), 0.0);
    // Sensors at 0 and at the length: bottom pressure and the invariants' top pressure.
    EXPECT_NEAR(record->output(7), y0, 1e-6);
    EXPECT_NEAR(record->output(10), 20e5, 2e5 * 1e-3);
    EXPECT_GT(record->output(8), record->output(9));
    // The choke passes the injection flow; choke pressure about the initial top pressure.
    EXPECT_NEAR(record->output(output::choke_flow), 0.01, 1e-5);
    EXPECT_NEAR(record->output(output::choke_pressure), 20e5, 20e5 * 1e-3);
    EXPECT_NEAR(record->output(output::top_flow), 0.0, 1e-5);
}

TEST_F(RigModel, DisplacerDrivesBottomFlowAndPressure) {
    initialize(0.01);
    record->setInput(input::displacer_velocity, 0.5);
    record->outputs(&mdlOutputs);
    EXPECT_NEAR(record->output(output::bottom_flow), -0.01267 * 0.5, 1e-15);
    record->call(&mdlDerivatives);
    EXPECT_NEAR(record->derivative(state::bottom_velocity_lag), 2 * (-0.01267 * 0.5 / 0.024),
                1e-15);
}

TEST_F(RigModel, ActuatorAndLagDerivatives) {
    initialize(0.01);
    record->state(state::choke_opening) = 0.2;
    record->setInput(input::choke_setpoint, 1.2);
    record->state(state::bottom_velocity_lag) = 0.3;
    record->call(&mdlDerivatives);
    EXPECT_DOUBLE_EQ(record->derivative(state::choke_opening), 0.1);
    EXPECT_DOUBLE_EQ(record->derivative(state::bottom_velocity_lag), -0.6);
}

// With fewer ports than the fixed outputs the block writes only the ports it has (the sanitizer
// build would catch a write past them), sensors last, in their places.
TEST_F(RigModel, OutputsNeverWritePortsTheBlockDoesNotHave) {
    params[param::num_fixed_outputs] = {3};
    params[param::sensor_positions] = {0, 3000};
    initialize(0.01);
    ASSERT_EQ(record->numOutputs(), 5);
    EXPECT_NEAR(record->output(3), record->output(output::bottom_pressure), 1e-6);
    EXPECT_NEAR(record->output(4), 20e5, 2e3);

    params[param::num_fixed_outputs] = {-10};
    initialize(0.01);
    EXPECT_EQ(record->numOutputs(), 0);

    params[param::num_fixed_outputs] = {9};
    params[param::sensor_positions] = {1500};
    initialize(0.01);
    ASSERT_EQ(record->numOutputs(), 10);
    EXPECT_EQ(record->output(7), test::TestRecord::unwritten);
    EXPECT_EQ(record->output(8), test::TestRecord::unwritten);
    EXPECT_NE(record->output(9), test::TestRecord::unwritten);
}

TEST_F(RigModel, ManySensorsAreAllWritten) {
    std::vector<double> positions;
    for (int i = 0; i <= 100; ++i)
        positions.push_back(30.0 * i);
    params[param::sensor_positions] = positions;
    initialize(0.01);
    ASSERT_EQ(record->numOutputs(), 7 + 101);
    for (int i = 1; i <= 100; ++i)
        EXPECT_LT(record->output(7 + i), record->output(6 + i)) << i;
}

TEST(FlowDirection, ZeroFlowHasNoDirection) {
    EXPECT_EQ(flowDirection(0.0), 0.0);
    EXPECT_EQ(flowDirection(-3.0), -1.0);
    EXPECT_EQ(flowDirection(2.0), 1.0);
}

} // namespace
