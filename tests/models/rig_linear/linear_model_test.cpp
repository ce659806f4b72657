#include "linear_declarations.h"
#include "linear_model.h"
#include "rig_invariants.h"
#include "rig_test_params.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

using namespace tavrel;
using namespace tavrel::linear;
namespace param = tavrel::rig::param;
namespace input = tavrel::rig::input;
namespace output = tavrel::rig::output;

namespace {

class LinearModel : public ::testing::Test {
  protected:
    test::ParamList params = test::defaultRigParams();
    std::unique_ptr<test::TestRecord> record;
    const double dx = 3000.0 / 100;

    void build() { record = std::make_unique<test::TestRecord>(params, &mdlInitializeSizes); }
    std::string initialize(double injection) {
        build();
        record->call(&mdlInitializeConditions);
        record->setInput(input::injection_flow, injection);
        return record->outputs(&mdlOutputs);
    }
    std::vector<double> derivatives() {
        record->call(&mdlDerivatives);
        return record->derivatives();
    }
};

// The choke passes exactly the injection flow at the initial top pressure, so a horizontal
// annulus at rest stays at rest, whatever the wave references and the choke_density.
TEST_F(LinearModel, HorizontalAnnulusWithInjectionFlowIsSteady) {
    params[param::inclination] = {0};
    params[param::choke_density] = {1500};
    for (double pressure_ref : {20e5, 8e5}) {
        for (double velocity_ref : {0.0, 0.3}) {
            params[param::invariant_pressure_ref] = {pressure_ref};
            params[param::invariant_velocity_ref] = {velocity_ref};
            initialize(0.01);
            const double z0 = record->state(state::choke_opening);
            ASSERT_TRUE(z0 > 0 && z0 < 1) << z0;
            record->setInput(input::choke_setpoint, z0);
            const std::vector<double> dX = derivatives();
            for (int k = 0; k < state::count; ++k)
                EXPECT_NEAR(dX[k], 0.0, 1e-9) << k;
            EXPECT_NEAR(record->output(output::choke_flow), 0.01, 1e-15);
        }
    }
}

// The profile follows the pressure-dependent density, the waves the fixed density_ref.
TEST_F(LinearModel, InclinedInitialStateLeavesTheDensityResidual) {
    initialize(0.01);
    const rig::RigParams p = rig::RigParams::read(record->S());
    const std::vector<double> dX = derivatives();
    for (int j = 0; j < 99; ++j) {
        const double P0 = hydrostaticPressure(p.hydrostatics(), j, dx);
        const double P1 = hydrostaticPressure(p.hydrostatics(), j + 1, dx);
        const double residual = -(P1 - P0) / (1300 * dx) - 9.81;
        EXPECT_NEAR(dX[state::w_up + j], residual, 1e-9) << j;
        EXPECT_NEAR(dX[state::w_down + j], residual, 1e-9) << j;
        EXPECT_GT(residual, 0.01) << j; // the fluid is denser than density_ref
    }
}

// Raising one state moves the two difference terms it enters, by -+c*delta/dx. Its velocity
// change at its own grid point reaches, through friction, both waves of that point only.
TEST_F(LinearModel, OneStateEntersOnlyItsUpwindNeighbourAndItsOwnPoint) {
    const double delta = 1e-3, wave = 1000 * delta / dx;
    for (double f : {0.0, 0.1}) {
        params[param::friction_linear] = {f};
        params[param::friction_quadratic] = {0};
        initialize(0.01);
        const std::vector<double> base = derivatives();
        const double brake = -f * delta / 2;
        for (int k : {1, 50, 98}) { // `w_up` state k at point k+1, `w_down` 100+k at point k
            const std::map<int, std::map<int, double>> expected = {
                {k, {{k, -wave + brake}, {k + 1, wave}, {state::w_down + k + 1, brake}}},
                {state::w_down + k,
                 {{state::w_down + k, -wave + brake},
                  {state::w_down + k - 1, wave},
                  {k - 1, brake}}}};
            for (const auto& [raised, changes] : expected) {
                record->state(raised) += delta;
                const std::vector<double> dX = derivatives();
                record->state(raised) -= delta;
                for (int i = 0; i < state::count; ++i) {
                    const double change = changes.count(i) ? changes.at(i) : 0.0;
                    if (change == 0.0)
                        EXPECT_EQ(dX[i], base[i]) << raised << " moved " << i;
                    else
                        EXPECT_NEAR(dX[i] - base[i], change, 1e-9) << raised << " " << i;
                }
            }
        }
    }
}

TEST_F(LinearModel, FirstOutputsPrintInjectionAndOpeningOncePerInitialisation) {
    const std::string console = initialize(0.01);
    const double z0 = record->state(state::choke_opening);
    char expected[128];
    std::snprintf(expected, sizeof expected, "Initial pump: %f\nInitial choke opening: %f\n", 0.01,
                  z0);
    EXPECT_EQ(console, expected);
    EXPECT_EQ(record->output(output::choke_opening), z0);
    EXPECT_EQ(record->outputs(&mdlOutputs), "");
    record->setInput(input::injection_flow, 0);
    record->call(&mdlInitializeConditions);
    EXPECT_EQ(record->outputs(&mdlOutputs),
              "Initial pump: 0.000000\nInitial choke opening: 0.000000\n");
    EXPECT_EQ(record->state(state::choke_opening), 0.0);
}

// Opening 0 shuts the choke (the table starts at 0): the injection flow goes down the annulus
// and the choke pressure is the top pressure of the waves, as a sensor at the top reports.
TEST_F(LinearModel, ShutChokeSendsTheInjectionFlowDownTheAnnulus) {
    params[param::sensor_positions] = {0, 1500, 3000};
    initialize(0);
    const std::vector<double> still = derivatives();
    record->setInput(input::injection_flow, 0.004);
    record->outputs(&mdlOutputs);
    EXPECT_EQ(record->output(7), record->output(output::bottom_pressure));
    EXPECT_NEAR(record->output(9), record->output(output::choke_pressure), 1e-6);
    EXPECT_GT(record->output(8), record->output(9));
    EXPECT_NEAR(record->output(output::top_flow), -0.004, 1e-15);
    EXPECT_NEAR(record->output(output::choke_flow), 0.0, 1e-15);

    // Velocity -q/A at the top: friction brakes the top `w_up`, and the top `w_down` sees
    // the changed boundary value.
    const std::vector<double> flowing = derivatives();
    const double v = -0.004 / 0.024;
    EXPECT_NEAR(flowing[state::w_up_top] - still[state::w_up_top],
                -(0.1 * v + 0.17 * std::fabs(v) * v), 1e-12);
    EXPECT_NEAR(flowing[state::w_down_last] - still[state::w_down_last], 1000 * (2 * v) / dx, 1e-9);

    // An opening so small that the choke law leaves the range of doubles acts as shut.
    record->state(state::choke_opening) = 1e-200;
    const std::vector<double> nearly_shut = derivatives();
    for (int k = 0; k < state::count; ++k)
        EXPECT_NEAR(nearly_shut[k], flowing[k], 1e-12) << k;
}

// The block always computes the seven fixed values; it writes only the ports it has, the
// sensors last in their places, and leaves ports between the fixed ones and the sensors alone.
TEST_F(LinearModel, OutputsNeverWritePortsTheBlockDoesNotHave) {
    build();
    EXPECT_EQ(ssGetNumContStates(record->S()), 201);
    EXPECT_EQ(ssGetInputPortDirectFeedThrough(record->S(), input::choke_setpoint), 0);
    EXPECT_EQ(record->numOutputs(), 11);

    params[param::num_fixed_outputs] = {3};
    params[param::sensor_positions] = {0, 3000};
    initialize(0.01);
    ASSERT_EQ(record->numOutputs(), 5);
    EXPECT_EQ(record->output(3), record->output(output::bottom_pressure));

    params[param::num_fixed_outputs] = {-10};
    initialize(0.01);
    EXPECT_EQ(record->numOutputs(), 0);

    params[param::num_fixed_outputs] = {9.9};
    params[param::sensor_positions] = {1500};
    initialize(0.01);
    ASSERT_EQ(record->numOutputs(), 10);
    EXPECT_EQ(record->output(7), test::TestRecord::unwritten);
    EXPECT_EQ(record->output(8), test::TestRecord::unwritten);
    EXPECT_NE(record->output(9), test::TestRecord::unwritten);
}

} // namespace
