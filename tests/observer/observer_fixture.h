// A block record of the observer with a vertical 3000 m well, four sensors and distinct gains.
#pragma once

#include "observer_model.h"
#include "observer_vocabulary.h"
#include "test_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace tavrel::observer::test {

inline tavrel::test::ParamList observerTestParams() {
    return {{0.024},
            {1300},
            {1e5},
            {0.1},
            {0.17},
            {1000},
            {20e5},
            {0},
            {20e5},
            {3000},
            {0},
            {M_PI / 2},
            {3000},
            {0.01267},
            {0.002},
            {100},
            {50},
            {6},
            {0, 1000, 2000, 3000},
            {1, 3},
            {2, 0.5, 1},
            {0.3},
            {0.7},
            {2}};
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
