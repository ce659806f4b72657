#include "piston_declarations.h"
#include "piston_model.h"
#include "rig_invariants.h"
#include "rig_model.h"
#include "rig_test_params.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

using namespace tavrel;
using namespace tavrel::piston;
namespace input = rig::input;
namespace output = rig::output;
namespace param = rig::param;

namespace {

// Chambers of the default well, worked out by hand: each chamber holds
// 0.05*3000 - 0.02*2000 - (0 + 0.01267)*(3000 - 2000)/2 m^3, the passage has 0.03 m^2.
constexpr double chamber_volume = 103.665;
constexpr double passage_area = 0.05 - 0.02;
constexpr double inertance = 2000 * 1300 / passage_area;
constexpr double stiffness = 1.5e9 / chamber_volume;
constexpr double head = 1300 * 9.81 * 3000;

class PistonModel : public ::testing::Test {
  protected:
    test::ParamList params = test::defaultRigParams();
    std::unique_ptr<test::TestRecord> record;

    void build() { record = std::make_unique<test::TestRecord>(params, &mdlInitializeSizes); }
    std::string initialize(double injection = 0.01) {
        build();
        record->call(&mdlInitializeConditions);
        record->setInput(input::injection_flow, injection);
        return record->outputs(&mdlOutputs);
    }
    double& s(int k) { return record->state(k); }
    double derivative(int k) {
        record->call(&mdlDerivatives);
        return record->derivative(k);
    }
    // Choke setpoint at the current opening: the actuator rests.
    void holdChoke() { record->setInput(input::choke_setpoint, s(state::choke_opening)); }
};

TEST_F(PistonModel, DeclaresTheRigSizesWithThreeMoreStates) {
    build();
    SimStruct* S = record->S();
    EXPECT_EQ(ssGetNumContStates(S), 304);
    EXPECT_EQ(ssGetNumSFcnParams(S), param::count);
    EXPECT_EQ(ssGetNumDiscStates(S), 0);
    EXPECT_EQ(ssGetNumInputPorts(S), 3);
    EXPECT_EQ(ssGetNumIWork(S), 1);
    EXPECT_EQ(ssGetNumOutputPorts(S), 11);
    EXPECT_EQ(ssGetInputPortDirectFeedThrough(S, input::choke_setpoint), 0);
    EXPECT_EQ(ssGetInputPortDirectFeedThrough(S, input::displacer_velocity), 1);
    EXPECT_EQ(ssGetInputPortDirectFeedThrough(S, input::injection_flow), 1);
}

TEST_F(PistonModel, ChambersStartAtRestOnTheHydrostaticProfile) {
    for (double v_ref : {0.0, 0.3, -2.0}) {
        params[param::invariant_velocity_ref] = {v_ref};
        initialize();
        const rig::RigParams p = rig::RigParams::read(record->S());
        EXPECT_EQ(s(state::bottom_chamber_pressure),
                  hydrostaticPressure(p.hydrostatics(), 0, p.annulus_length / 150));
        EXPECT_NEAR(s(state::displacer_chamber_pressure) - s(state::bottom_chamber_pressure), head,
                    1e-7);
        EXPECT_EQ(s(state::passage_flow), 0.0);
        EXPECT_NEAR(record->output(output::bottom_pressure), s(state::bottom_chamber_pressure),
                    1e-7);
        EXPECT_NEAR(record->output(output::bottom_flow), 0.0, 1e-13) << v_ref;
        EXPECT_EQ(record->output(output::displacer_pressure), s(state::displacer_chamber_pressure));
    }
    params[param::displacer_depth] = {0};
    initialize();
    EXPECT_EQ(s(state::displacer_chamber_pressure), s(state::bottom_chamber_pressure));
}

TEST_F(PistonModel, FirstOutputsSetAndPrintTheInitialOpeningOnce) {
    const std::string console = initialize(0.01);
    const double z0 = s(state::choke_opening);
    EXPECT_GT(z0, 0.0);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Initial choke opening: %f\n", z0);
    EXPECT_EQ(console, expected);
    EXPECT_EQ(record->output(output::choke_opening), z0);
    EXPECT_EQ(record->outputs(&mdlOutputs), "");
    record->call(&mdlInitializeConditions);
    EXPECT_EQ(record->outputs(&mdlOutputs), expected);
}

// The logarithm of the hydrostatic profile is linear in depth, so the upwind differences
// balance gravity; the chamber pressures balance the head across the passage.
TEST_F(PistonModel, InitialStateHasZeroDerivatives) {
    for (double inclination : {M_PI / 2, M_PI / 6}) {
        for (double v_ref : {0.0, 0.3}) {
            params[param::inclination] = {inclination};
            params[param::invariant_velocity_ref] = {v_ref};
            initialize();
            holdChoke();
            record->call(&mdlDerivatives);
            for (int k = 0; k < 299; ++k) {
                const double tolerance = k == 149 ? 1e-5 : 1e-8; // choke solver tolerance at top
                EXPECT_NEAR(record->derivative(k), 0.0, tolerance) << k;
            }
            EXPECT_EQ(record->derivative(state::choke_opening), 0.0);
            EXPECT_NEAR(record->derivative(state::bottom_chamber_pressure), 0.0, 1e-5);
            EXPECT_NEAR(record->derivative(state::displacer_chamber_pressure), 0.0, 1e-5);
            EXPECT_NEAR(record->derivative(state::passage_flow), 0.0, 1e-15);
        }
    }
}

TEST_F(PistonModel, DisplacerChangesTheChamberVolumes) {
    params[param::displacer_area_inner] = {0.004}; // tells the outer and inner areas apart
    const double volume = chamber_volume - (0.004 * 1000) / 2;
    const double u1 = 0.5;
    initialize();
    holdChoke();
    record->setInput(input::displacer_velocity, u1);
    record->call(&mdlDerivatives);
    const double k = 1.5e9 / volume;
    EXPECT_NEAR(record->derivative(state::bottom_chamber_pressure), k * (0.02 - 0.01267) * u1,
                1e-9 * k);
    EXPECT_NEAR(record->derivative(state::displacer_chamber_pressure), -k * (0.02 - 0.004) * u1,
                1e-9 * k);
    EXPECT_NEAR(record->derivative(state::passage_flow), 0.0, 1e-15);
}

TEST_F(PistonModel, OutputsDoNotReadTheDisplacerVelocity) {
    initialize();
    s(state::passage_flow) = 0.003;
    s(state::bottom_chamber_pressure) += 2e4;
    record->outputs(&mdlOutputs);
    const std::vector<double> still = record->outputs();
    record->setInput(input::displacer_velocity, 0.7);
    record->outputs(&mdlOutputs);
    EXPECT_EQ(record->outputs(), still);
}

// A higher bottom chamber pressure pushes fluid into the annulus, which the chamber loses, and
// slows the passage flow by the pressure rise over the passage inertance.
TEST_F(PistonModel, BottomChamberPressureDrivesAnnulusAndPassage) {
    initialize();
    holdChoke();
    const double passage_rate = derivative(state::passage_flow);
    const double bottom_pressure = record->output(output::bottom_pressure);
    const double delta = 1e5;
    s(state::bottom_chamber_pressure) += delta;
    record->outputs(&mdlOutputs);
    EXPECT_NEAR(record->output(output::bottom_pressure), bottom_pressure + delta, 1e-6);
    EXPECT_NEAR(record->output(7), s(state::bottom_chamber_pressure), 1e-6); // sensor at 0
    EXPECT_NEAR(derivative(state::passage_flow), passage_rate - delta / inertance, 1e-15);

    const double v_b = record->output(output::bottom_flow);
    EXPECT_GT(v_b, 0.0);
    EXPECT_NEAR(record->derivative(state::bottom_chamber_pressure), -stiffness * (v_b * 0.024),
                1e-9 * stiffness * v_b);
    EXPECT_NEAR(record->derivative(state::displacer_chamber_pressure), 0.0, 1e-5);
}

TEST_F(PistonModel, PassageFlowMovesVolumeAgainstFriction) {
    initialize();
    holdChoke();
    const double q = 0.01;
    const double drag = (q * 0.5) / passage_area + (q * (q * 0.2)) / (passage_area * passage_area);
    for (double sign : {1.0, -1.0}) {
        s(state::passage_flow) = sign * q;
        record->call(&mdlDerivatives);
        EXPECT_NEAR(record->derivative(state::passage_flow), -sign * drag / inertance, 1e-15);
        EXPECT_NEAR(record->derivative(state::bottom_chamber_pressure), sign * stiffness * q,
                    1e-9 * stiffness * q);
        EXPECT_NEAR(record->derivative(state::displacer_chamber_pressure), -sign * stiffness * q,
                    1e-9 * stiffness * q);
    }
}

// Everything but the bottom is the same code as in `tavrel`: with the bottom chamber at the
// pressure that `tavrel` finds at the bottom, the two blocks agree to the last bit away from it.
TEST_F(PistonModel, AgreesBitForBitWithTheRigBlockAwayFromTheBottom) {
    test::TestRecord rig_record(params, &rig::mdlInitializeSizes);
    rig_record.call(&rig::mdlInitializeConditions);
    rig_record.outputs(&rig::mdlOutputs); // sets its initial opening, as initialize() does
    initialize(0.0);
    for (int k = 0; k < state::choke_opening; ++k) {
        ASSERT_EQ(s(k), rig_record.state(k)) << k;
        const double wave = 0.05 * std::sin(0.1 * k);
        s(k) += wave;
        rig_record.state(k) += wave;
    }
    s(state::choke_opening) = rig_record.state(state::choke_opening) = 0.4;
    for (test::TestRecord* r : {record.get(), &rig_record}) {
        r->setInput(input::injection_flow, 0.008);
        r->setInput(input::choke_setpoint, 0.7);
    }
    rig_record.outputs(&rig::mdlOutputs);
    s(state::bottom_chamber_pressure) = rig_record.output(output::bottom_pressure);
    record->outputs(&mdlOutputs);
    record->call(&mdlDerivatives);
    rig_record.call(&rig::mdlDerivatives);

    for (int port : {int{output::choke_flow}, int{output::choke_pressure},
                     int{output::choke_opening}, int{output::top_flow}, 8, 9, 10}) {
        EXPECT_EQ(record->output(port), rig_record.output(port)) << port;
    }
    EXPECT_NEAR(record->output(output::bottom_pressure), rig_record.output(0), 1e-6);
    for (int k = 0; k <= state::choke_opening; ++k) {
        if (k == state::w_up || k == state::w_down) { // read the bottom boundary
            EXPECT_NEAR(record->derivative(k), rig_record.derivative(k), 1e-9) << k;
        } else {
            EXPECT_EQ(record->derivative(k), rig_record.derivative(k)) << k;
        }
    }
}

// With fewer ports than the fixed outputs the block writes only the ports it has (the sanitizer
// build catches a write past them), sensors last, in their places.
TEST_F(PistonModel, OutputsNeverWritePortsTheBlockDoesNotHave) {
    params[param::num_fixed_outputs] = {3};
    params[param::sensor_positions] = {0, 3000};
    initialize();
    ASSERT_EQ(record->numOutputs(), 5);
    EXPECT_NEAR(record->output(3), s(state::bottom_chamber_pressure), 1e-6);
    EXPECT_NEAR(record->output(4), 20e5, 2e3);

    params[param::num_fixed_outputs] = {5};
    params[param::sensor_positions] = {};
    initialize();
    ASSERT_EQ(record->numOutputs(), 5);
    EXPECT_EQ(record->output(output::displacer_pressure), s(state::displacer_chamber_pressure));

    params[param::num_fixed_outputs] = {-10};
    initialize();
    EXPECT_EQ(record->numOutputs(), 0);

    params[param::num_fixed_outputs] = {9};
    params[param::sensor_positions] = {1500};
    initialize();
    ASSERT_EQ(record->numOutputs(), 10);
    EXPECT_EQ(record->output(7), test::TestRecord::unwritten);
    EXPECT_EQ(record->output(8), test::TestRecord::unwritten);
    EXPECT_NE(record->output(9), test::TestRecord::unwritten);
}

} // namespace
