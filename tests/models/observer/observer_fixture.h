// A block record of the observer with a vertical 3000 m well, four sensors and distinct gains.
#pragma once

#include "observer_declarations.h"
#include "observer_model.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace tavrel::observer::test {

// The described defaults with distinct displacer losses, gains and frequency.
inline tavrel::test::ParamList observerTestParams() {
    tavrel::test::ParamList p = defaultParams(description);
    p[param::displacer_area_inner] = {0.002};
    p[param::displacer_loss_linear] = {100};
    p[param::displacer_loss_quadratic] = {50};
    p[param::gain_profile_up] = {1, 3};
    p[param::gain_profile_down] = {2, 0.5, 1};
    p[param::displacer_quadrature_gain] = {0.3};
    p[param::displacer_velocity_gain] = {0.7};
    p[param::displacer_frequency] = {2};
    return p;
}

class ObserverBlock : public ::testing::Test {
  protected:
    tavrel::test::ParamList params = observerTestParams();
    std::unique_ptr<tavrel::test::TestRecord> record;

    double p(int k) const { return params[k][0]; }
    double impedance() const { return p(param::sound_speed) * p(param::density_ref); }
    double dx() const { return p(param::annulus_length) / 20; }
    double& x(int k) { return record->state(k); }

    void build() {
        record = std::make_unique<tavrel::test::TestRecord>(params, &mdlInitializeSizes);
    }
    // The initial profile, with the measurements that match it at rest.
    void initialize() {
        build();
        record->call(&mdlInitializeConditions);
        setMeasurements(0.0, p(param::initial_top_pressure));
    }
    void setMeasurements(double top_flow, double top_pressure) {
        record->setInput(input::measured_top_flow, top_flow);
        record->setInput(input::measured_top_pressure, top_pressure);
    }
    // Pressure from a `w_up` and a `w_down` value.
    double pressure(double a, double b) const {
        return impedance() * (a - b) / 2 + p(param::invariant_pressure_ref);
    }
};

} // namespace tavrel::observer::test
