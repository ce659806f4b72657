#include "linear_choke.h"
#include "linear_model.h"
#include "rig_test_params.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrel;
using namespace tavrel::linear;

namespace {

class LinearChoke : public ::testing::Test {
  protected:
    test::TestRecord record{test::defaultRigParams(), &mdlInitializeSizes};
    rig::RigParams p = rig::RigParams::read(record.S());
    double R = p.sound_speed * p.density_ref;

    // Arriving `w_up` at the top for a top pressure with the fluid at rest (no injection).
    double arriving(double pressure) const {
        return (pressure - p.invariant_pressure_ref) / R - p.invariant_velocity_ref;
    }
    double waveRelation(double a, double q, double vc) const {
        return p.invariant_pressure_ref +
               R * (a + p.invariant_velocity_ref + q / p.annulus_area - vc);
    }
    double chokeLaw(double Cv, double vc) const {
        const double drop = p.density_ref * std::pow(p.annulus_area * vc / Cv, 2);
        return vc >= 0 ? p.downstream_pressure + drop : p.downstream_pressure - drop;
    }
};

TEST_F(LinearChoke, FlowSatisfiesBothRelationsOutwardAndInward) {
    for (double top : {0.2e5, 0.9e5, 2e5, 20e5, 60e5}) {
        for (double q : {0.0, 0.01, -0.003}) {
            for (double Cv : {1e-4, 5e-4, 2e-3}) {
                const double a = arriving(top);
                const double vc = linearChokeFlowVelocity(p, a, Cv, q);
                const double C = waveRelation(a, q, 0) - p.downstream_pressure;
                EXPECT_EQ(vc > 0, C > 0) << top << " " << q << " " << Cv;
                EXPECT_NEAR(waveRelation(a, q, vc), chokeLaw(Cv, vc), 1e-8 * std::fabs(C))
                    << top << " " << q << " " << Cv;
            }
        }
    }
}

TEST_F(LinearChoke, WiderChokePassesMoreTowardsTheOpenLimit) {
    const double a = arriving(20e5);
    const double C = 20e5 - p.downstream_pressure;
    double previous = 0;
    for (double Cv : {1e-4, 1e-3, 1e-2, 1e-1, 1.0, 10.0}) {
        const double vc = linearChokeFlowVelocity(p, a, Cv, 0);
        EXPECT_GT(vc, previous) << Cv;
        EXPECT_LT(vc, C / R) << Cv;
        previous = vc;
    }
    // Fully open, the top stands at downstream pressure: the wave relation alone gives C/R.
    EXPECT_NEAR(previous, C / R, 1e-6 * C / R);
}

TEST_F(LinearChoke, ShutChokeOrBalancedTopPassesNothing) {
    for (double Cv : {0.0, -1e-4, std::nan("")}) {
        EXPECT_EQ(linearChokeFlowVelocity(p, std::nan(""), Cv, std::nan("")), 0.0);
    }
    record.setParam(rig::param::downstream_pressure, {p.invariant_pressure_ref}); // C = 0
    p = rig::RigParams::read(record.S());
    EXPECT_EQ(linearChokeFlowVelocity(p, -p.invariant_velocity_ref, 1e-3, 0), 0.0);
}

// Coefficients far outside any real choke put the quadratic's terms out of the range of
// doubles; the flow must still be the root of the right sign, and a value that is not a
// number must not come out as a flow.
TEST_F(LinearChoke, OutOfRangeTermsStillGiveTheRootOrNotANumber) {
    for (double top : {20e5, 0.5e5}) {
        const double a = arriving(top), C = top - p.downstream_pressure;
        const double scale = std::sqrt(std::fabs(C) / (std::pow(p.annulus_area, 2) * 1300));
        for (double Cv : {1e-140, 1e-152, 1e-154}) { // nearly shut: vc -> +-Cv*scale
            const double expected = std::copysign(Cv * scale, C);
            EXPECT_NEAR(linearChokeFlowVelocity(p, a, Cv, 0), expected, 1e-9 * Cv * scale);
        }
        for (double Cv : {1e-160, 1e-300})
            EXPECT_EQ(linearChokeFlowVelocity(p, a, Cv, 0), 0.0);
        for (double Cv : {1e160, 1e300}) { // beyond any opening: the open limit C/R
            EXPECT_NEAR(linearChokeFlowVelocity(p, a, Cv, 0), C / R, 1e-12 * std::fabs(C / R));
        }
    }
    EXPECT_TRUE(std::isnan(linearChokeFlowVelocity(p, std::nan(""), 1e-3, 0.01)));
    EXPECT_TRUE(std::isnan(linearChokeFlowVelocity(p, 0, 1e-3, std::nan(""))));
}

} // namespace
