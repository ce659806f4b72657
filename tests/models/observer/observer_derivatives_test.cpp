#include "observer_estimator.h"
#include "observer_fixture.h"

#include <cmath>
#include <limits>
#include <map>
#include <vector>

using namespace tavrel::observer;
using namespace tavrel::observer::test;

namespace {

class ObserverDerivatives : public ObserverBlock {
  protected:
    std::vector<double> derive() {
        record->call(&mdlDerivatives);
        return record->derivatives();
    }
    // With only the velocity gain at 1 and x[41] = 0, dX[42] is the innovation itself.
    double innovationNow() {
        x(state::displacer_quadrature) = 0;
        return derive()[state::displacer_velocity_estimate];
    }
    void exposeInnovation() {
        params[param::displacer_quadrature_gain] = {0};
        params[param::displacer_velocity_gain] = {1};
    }
    double dampingExponent() const {
        return p(param::annulus_length) * p(param::friction_linear) /
               (2 * p(param::density_ref) * p(param::sound_speed));
    }
};

TEST_F(ObserverDerivatives, RestWithMatchedMeasurementsIsStationary) {
    params[param::inclination] = {0};
    params[param::initial_top_pressure] = {25e5}; // invariants away from zero
    initialize();
    x(state::displacer_quadrature) = 0;
    x(state::displacer_velocity_estimate) = 0;
    const std::vector<double> dX = derive();
    for (int k = 0; k < state::count; ++k)
        EXPECT_NEAR(dX[k], 0.0, 1e-10) << k;
}

// In exact arithmetic e = 0.5*exp(Kd)*A*(w_meas - x[19]), w_meas the w_up the measurements
// imply; the hydrostatic head and the measured boundary cancel out of it.
TEST_F(ObserverDerivatives, InnovationComparesMeasuredAndModelUpwardInvariant) {
    params[param::friction_linear] = {50}; // Kd about 0.058
    params[param::invariant_velocity_ref] = {0.3};
    exposeInnovation();
    initialize();
    const double A = 0.024, Z = impedance(), weight = 0.5 * std::exp(dampingExponent());
    const double Q = 0.012, P = 21e5;
    setMeasurements(Q, P);
    x(state::w_up + 19) += 0.05;
    const double e = innovationNow();
    const double w_meas = (Q / A - 0.3) + (P - 20e5) / Z;
    EXPECT_NEAR(e, weight * A * (w_meas - x(state::w_up + 19)), 1e-12);

    const double dp = 1e4, dq = 0.01;
    setMeasurements(Q, P + dp);
    EXPECT_NEAR(innovationNow() - e, weight * A * dp / Z, 1e-12);
    setMeasurements(Q + dq, P);
    EXPECT_NEAR(innovationNow() - e, weight * dq, 1e-12);
}

// Without gains, from rest in a horizontal annulus: a disturbance of one invariant moves it
// toward its upwind neighbour and brings the friction of its velocity to both invariants of its
// grid point; the bottom takes the displacer's velocity and the top the measured invariant.
TEST_F(ObserverDerivatives, PlainModelCarriesDisturbancesUpwind) {
    params[param::inclination] = {0};
    params[param::gain_profile_up] = {0};
    params[param::gain_profile_down] = {0};
    params[param::displacer_quadrature_gain] = {0};
    params[param::displacer_velocity_gain] = {0};
    const double c = 1000, h = dx(), d = 0.01;
    auto F = [](double v) { return 0.1 * v + 0.17 * std::fabs(v) * v; };
    auto rest = [&] {
        initialize();
        x(state::displacer_quadrature) = 0;
        x(state::displacer_velocity_estimate) = 0;
    };
    auto expectOnly = [](const std::vector<double>& dX, const std::map<int, double>& expected) {
        for (int k = 0; k < state::count; ++k) {
            const auto it = expected.find(k);
            EXPECT_NEAR(dX[k], it == expected.end() ? 0.0 : it->second, 1e-9) << k;
        }
    };

    rest();
    x(state::w_up + 5) += d; // `w_up` at point 6
    expectOnly(derive(), {{state::w_up + 5, -(c * d / h + F(d / 2))},
                          {state::w_up + 6, c * d / h},
                          {state::w_down + 6, -F(d / 2)}});
    rest();
    x(state::w_down + 6) += d; // `w_down` at point 6
    expectOnly(derive(), {{state::w_down + 6, -(c * d / h) - F(d / 2)},
                          {state::w_down + 5, c * d / h},
                          {state::w_up + 5, -F(d / 2)}});
    rest();
    const double v_displacer = -0.5;
    const double v_b = -(0.01267 - 0.002) * v_displacer / 0.024;
    x(state::displacer_velocity_estimate) = v_displacer;
    expectOnly(derive(), {{state::w_up, 2 * v_b * c / h},
                          {state::w_down, -F(v_b)},
                          {state::displacer_quadrature, -v_displacer * 2}});
    rest();
    const double dp = 1e4, dw = -dp / impedance(); // the measured top `w_down` moves by dw
    setMeasurements(0, 20e5 + dp);
    x(state::w_up + 19) += d; // `w_up` at point 20
    expectOnly(derive(), {{state::w_down + 19, c * dw / h},
                          {state::w_up + 19, -(c * d / h + F((dw + d) / 2))}});
}

TEST_F(ObserverDerivatives, UndrivenOscillatorRotates) {
    params[param::inclination] = {0};
    initialize(); // matched measurements: no innovation
    std::vector<double> dX = derive();
    EXPECT_NEAR(dX[state::displacer_quadrature], -0.01 * 2, 1e-12);
    EXPECT_NEAR(dX[state::displacer_velocity_estimate], 0.01 * 2, 1e-12);

    params[param::displacer_quadrature_gain] = {0};
    params[param::displacer_velocity_gain] = {0};
    initialize();
    setMeasurements(0.05, 30e5); // a large mismatch reaches the oscillator through no gain
    x(state::displacer_quadrature) = 0.2;
    x(state::displacer_velocity_estimate) = -0.3;
    dX = derive();
    EXPECT_EQ(dX[state::displacer_quadrature], 0.3 * 2);
    EXPECT_EQ(dX[state::displacer_velocity_estimate], 0.2 * 2);
}

TEST(GainProfile, TwoEntriesInterpolateLinearly) {
    const double T[] = {2, 5};
    const GridValues g = sampleGainProfile({T, 2}, 3000);
    for (int i = 0; i <= 20; ++i)
        EXPECT_NEAR(g[i], 2 + 3 * i / 20.0, 1e-12) << i;
    EXPECT_EQ(g[20], 5);
}

TEST(GainProfile, OneEntryPerGridPointIsTakenAsIs) {
    double T[21];
    for (int i = 0; i < 21; ++i)
        T[i] = std::sin(i) + 2;
    for (double L : {3000.0, 1.0, 0.3, 1234.567}) {
        const GridValues g = sampleGainProfile({T, 21}, L);
        for (int i = 0; i <= 20; ++i)
            EXPECT_NEAR(g[i], T[i], 1e-12) << i << " at " << L;
    }
}

// The entry after the last is a not-a-number sentinel: the top grid point must not see it.
TEST(GainProfile, TopGridPointReadsNothingPastTheEnd) {
    for (std::size_t N : {2u, 3u, 7u, 21u, 40u}) {
        std::vector<double> T(N + 1, std::numeric_limits<double>::quiet_NaN());
        for (std::size_t k = 0; k < N; ++k)
            T[k] = 1.0 + static_cast<double>(k);
        for (double L : {3000.0, 1.0, 0.3, 1234.567, 7e-3}) {
            const GridValues g = sampleGainProfile({T.data(), N}, L);
            for (int i = 0; i <= 20; ++i)
                EXPECT_FALSE(std::isnan(g[i])) << N << " " << L;
            EXPECT_EQ(g[20], T[N - 1]) << N << " " << L;
        }
    }
}

TEST(GainProfile, ShortProfilesAreConstantOrZero) {
    const double one[] = {4};
    for (double g : sampleGainProfile({one, 1}, 3000))
        EXPECT_EQ(g, 4);
    for (double g : sampleGainProfile({}, 3000))
        EXPECT_EQ(g, 0);
}

// The corrections are the derivatives with gains minus those without: the gain at each
// state's own grid point, doubled, times e/A, weighted exp(-Kd*(j+1)/20) for `w_up` at point
// j+1 and exp(Kd*j/20) for `w_down` at point j.
TEST_F(ObserverDerivatives, CorrectionsFollowTheGainsAlongTheAnnulus) {
    for (double friction_linear : {0.0, 50.0}) {
        params[param::friction_linear] = {friction_linear};
        params[param::gain_profile_up] = {1, 3};
        params[param::gain_profile_down] = {2, 0.5};
        exposeInnovation();
        initialize();
        setMeasurements(0.01, 22e5);
        const double e = innovationNow();
        const std::vector<double> corrected = derive();
        params[param::gain_profile_up] = {0};
        params[param::gain_profile_down] = {0};
        initialize();
        setMeasurements(0.01, 22e5);
        const std::vector<double> plain = derive();

        const double Kd = dampingExponent(), A = 0.024;
        for (int j = 0; j < 20; ++j) {
            const double g_up = 1 + 2 * (j + 1) / 20.0, g_down = 2 - 1.5 * j / 20.0;
            const double up = std::exp(-Kd * (j + 1) / 20) * 2 * g_up * e / A;
            const double down = std::exp(Kd * j / 20) * 2 * g_down * e / A;
            EXPECT_NEAR(corrected[state::w_up + j] - plain[state::w_up + j], up,
                        1e-9 * std::fabs(up))
                << j;
            EXPECT_NEAR(corrected[state::w_down + j] - plain[state::w_down + j], down,
                        1e-9 * std::fabs(down))
                << j;
        }
    }
}

TEST_F(ObserverDerivatives, ShortGainProfilesGiveConstantOrNoCorrection) {
    params[param::friction_linear] = {0};
    params[param::gain_profile_up] = {};
    params[param::gain_profile_down] = {};
    initialize();
    setMeasurements(0.01, 22e5);
    const std::vector<double> plain = derive();
    params[param::gain_profile_down] = {0.5};
    exposeInnovation();
    initialize();
    setMeasurements(0.01, 22e5);
    const double e = innovationNow();
    const std::vector<double> dX = derive();
    for (int j = 0; j < 20; ++j) {
        EXPECT_EQ(dX[state::w_up + j], plain[state::w_up + j]) << j;
        EXPECT_NEAR(dX[state::w_down + j] - plain[state::w_down + j], 2 * 0.5 * e / 0.024, 1e-9)
            << j;
    }
}

// State 40 is carried for the host only: never written, read or given a derivative.
TEST_F(ObserverDerivatives, UnusedStateIsLeftAlone) {
    initialize();
    x(state::unused_state) = std::numeric_limits<double>::quiet_NaN();
    ssGetdX(record->S())[state::unused_state] = 7.0; // not what a host holds: shows a write
    record->outputs(&mdlOutputs);
    for (double value : record->outputs()) {
        EXPECT_TRUE(std::isfinite(value));
    }
    const std::vector<double> dX = derive();
    EXPECT_EQ(dX[state::unused_state], 7.0);
    for (int k = 0; k < state::count; ++k) {
        if (k != state::unused_state) {
            EXPECT_TRUE(std::isfinite(dX[k])) << k;
        }
    }
}

} // namespace
