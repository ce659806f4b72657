#include "choke.h"
#include "rig_model.h"
#include "rig_test_params.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace tavrel;
using namespace tavrel::rig;

namespace {

const std::vector<double> table = {0, 1e-4, 2.5e-4, 5e-4, 1e-3, 2e-3};
ParamVector view(const std::vector<double>& v) { return {v.data(), v.size()}; }

TEST(ChokeCoefficient, InterpolatesTheTableAndIsExactAtItsPoints) {
    for (size_t k = 0; k < table.size(); ++k) {
        EXPECT_NEAR(chokeCoefficient(view(table), k * 0.2), table[k], 1e-18) << k;
    }
    EXPECT_EQ(chokeCoefficient(view(table), 1.0), table.back());
    EXPECT_NEAR(chokeCoefficient(view(table), 0.5), (2.5e-4 + 5e-4) / 2, 1e-18);
}

// The actuator can carry the opening a step past its ends; the lookup then extends the end
// segments (continuous there) and never indexes outside the table.
TEST(ChokeCoefficient, OpeningsOutsideTheTravelExtendTheEndSegments) {
    EXPECT_NEAR(chokeCoefficient(view(table), -0.02), -0.1 * 1e-4, 1e-18);
    EXPECT_NEAR(chokeCoefficient(view(table), 1.02), 2e-3 + 0.1 * 1e-3, 1e-15);
    EXPECT_NEAR(chokeCoefficient(view(table), 1 + 1e-15), table.back(), 1e-15);
    EXPECT_TRUE(std::isfinite(chokeCoefficient(view(table), 1e300)));
    EXPECT_TRUE(std::isnan(chokeCoefficient(view(table), std::nan(""))));
}

TEST(ChokeCoefficient, ShortTablesAreNeverReadPastTheirEnd) {
    const std::vector<double> one = {3e-4};
    EXPECT_EQ(chokeCoefficient(view(one), 0.7), 3e-4);
    EXPECT_EQ(chokeCoefficient(ParamVector{}, 0.7), 0.0);
    EXPECT_EQ(chokeOpeningForCoefficient(view(one), 1e-4), 0.0);
    EXPECT_EQ(chokeOpeningForCoefficient(view(one), 5e-4), 1.0);
    EXPECT_EQ(chokeOpeningForCoefficient(ParamVector{}, 5e-4), 0.0);
}

TEST(InitialChokeOpening, InvertsTheTable) {
    EXPECT_EQ(chokeOpeningForCoefficient(view(table), 0.0), 0.0);
    EXPECT_EQ(chokeOpeningForCoefficient(view(table), -1.0), 0.0);
    EXPECT_EQ(chokeOpeningForCoefficient(view(table), 2e-3), 1.0);
    EXPECT_EQ(chokeOpeningForCoefficient(view(table), 5.0), 1.0);
    for (double z : {0.05, 0.3, 0.5, 0.77, 0.99}) {
        EXPECT_NEAR(chokeOpeningForCoefficient(view(table), chokeCoefficient(view(table), z)), z,
                    1e-12);
    }
    const std::vector<double> linear = {0, 1, 2, 3, 4};
    EXPECT_NEAR(chokeOpeningForCoefficient(view(linear), 1.7), 1.7 / 4, 1e-15);
    // A strictly increasing table passes equal values and stops at the first larger one.
    EXPECT_NEAR(chokeOpeningForCoefficient(view(linear), 2.0), 0.5, 1e-15);
}

TEST(InitialChokeOpening, CoefficientBelowAPositiveFirstEntryGivesZero) {
    const std::vector<double> offset = {1e-4, 2e-4, 4e-4};
    EXPECT_EQ(chokeOpeningForCoefficient(view(offset), 0.5e-4), 0.0);
    EXPECT_NEAR(chokeOpeningForCoefficient(view(offset), 1.5e-4), 0.25, 1e-12);
}

TEST(InitialChokeOpening, PassesTheInjectionFlowAcrossTheInitialDrop) {
    const double q = 0.01, p_top = 20e5, p_down = 1e5, rho = 1300;
    const double z0 = initialChokeOpening(view(table), q, p_top, p_down, rho);
    const double Cv = chokeCoefficient(view(table), z0);
    EXPECT_NEAR(q / Cv * (q / Cv) * rho, p_top - p_down, 1e-6 * (p_top - p_down));
}

TEST(ChokeActuator, FollowsTheSetpointAtALimitedRate) {
    EXPECT_EQ(chokeActuatorRate(0.4, 0.4, 10), 0.0);
    EXPECT_NEAR(chokeActuatorRate(0.45, 0.4, 1), 0.5, 1e-12);
    EXPECT_DOUBLE_EQ(chokeActuatorRate(1.5, 0.5, 10), 0.1);
    EXPECT_DOUBLE_EQ(chokeActuatorRate(-5, 0.5, 10), -0.1);
    EXPECT_DOUBLE_EQ(chokeActuatorRate(std::nan(""), 0.5, 10), 0.1);
}

TEST(ChokeActuator, EndStopsHoldOnlyTheMovementPastThem) {
    EXPECT_EQ(chokeActuatorRate(2, 1, 10), 0.0);
    EXPECT_EQ(chokeActuatorRate(-1, 0, 10), 0.0);
    EXPECT_LT(chokeActuatorRate(0.5, 1, 10), 0.0);
    EXPECT_GT(chokeActuatorRate(0.5, 0, 10), 0.0);
    EXPECT_EQ(chokeActuatorRate(2, 1.001, 10), 0.0);
    EXPECT_EQ(chokeActuatorRate(-2, -0.001, 10), 0.0);
}

class ChokeFlow : public ::testing::Test {
  protected:
    test::TestRecord record{test::defaultRigParams(), &mdlInitializeSizes};
    RigParams p = RigParams::read(record.S());

    // Invariant `w_up` at the top for a top pressure at rest.
    double arriving(double pressure) const { return logPressureTerm(p, pressure); }

    // Top pressure the invariants give for choke velocity t, minus the choke law's.
    double lawResidual(double a, double Cv, double q, double t) const {
        const double b = boundaryInvariantForVelocity(p, t - q / p.annulus_area, a);
        const double top = pressureFromInvariants(p, a, b);
        const double law =
            flowDirection(t) * p.choke_density * std::pow(p.annulus_area * t / Cv, 2);
        return (top - p.downstream_pressure) - law;
    }
};

TEST_F(ChokeFlow, SolvedFlowSatisfiesTheChokeLaw) {
    for (double top : {2e5, 20e5, 60e5}) {
        for (double Cv : {1e-4, 5e-4, 2e-3}) {
            const double a = arriving(top);
            const double t = chokeFlowVelocity(p, a, Cv, 0.01);
            EXPECT_GT(t, 0) << top << " " << Cv;
            // The root lies within the bracket at which the bisection stops (relative 1e-4).
            EXPECT_GT(lawResidual(a, Cv, 0.01, t * (1 - 1e-4)), 0) << top << " " << Cv;
            EXPECT_LT(lawResidual(a, Cv, 0.01, t * (1 + 1e-4)), 0) << top << " " << Cv;
        }
    }
}

TEST_F(ChokeFlow, PressureBelowDownstreamGivesInflowThatSatisfiesTheLaw) {
    const double a = arriving(0.5e5);
    const double t = chokeFlowVelocity(p, a, 1e-3, 0.0);
    EXPECT_LT(t, 0);
    // Inward, the bisection stops at an absolute half-width of 1e-4.
    EXPECT_GT(lawResidual(a, 1e-3, 0.0, t - 1e-4), 0);
    EXPECT_LT(lawResidual(a, 1e-3, 0.0, t + 1e-4), 0);
}

TEST_F(ChokeFlow, ShutChokeAndLargerOpenings) {
    const double a = arriving(20e5);
    EXPECT_EQ(chokeFlowVelocity(p, a, 0.0, 0.01), 0.0);
    EXPECT_EQ(chokeFlowVelocity(p, a, -1e-4, 0.01), 0.0);
    EXPECT_EQ(chokeFlowVelocity(p, a, std::nan(""), 0.01), 0.0);
    EXPECT_LT(chokeFlowVelocity(p, a, 2e-4, 0.01), chokeFlowVelocity(p, a, 4e-4, 0.01));
}

TEST_F(ChokeFlow, BalancedTopGivesAFlowJustBelowZero) {
    // downstream = invariant reference and q/A + v_ref + a = 0 make u exactly 1.
    record.setParam(param::downstream_pressure, {20e5});
    p = RigParams::read(record.S());
    const double q = 0.01;
    const double t = chokeFlowVelocity(p, -(q / p.annulus_area), 1e-3, q);
    EXPECT_LE(t, 0.0);
    EXPECT_GT(t, -1e-4);
}

// Inflow whose root lies near -4e16, where doubles are 8 apart: the bisection's 1e-4 tolerance
// is never met, and it must end once no midpoint is left (it used to loop for ever).
TEST_F(ChokeFlow, BisectionEndsWhenNoDoubleLiesBetweenItsBounds) {
    p.sound_speed = -1000;
    const double t = chokeFlowVelocity(p, 100.0, 1e12, 0.0);
    EXPECT_LT(t, -4e16);
    EXPECT_GT(t, -4.2e16);
}

} // namespace
