#include "summary.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tavrel::sim {
namespace {

// Rows at t = 0..10 s; the window is the last two 2 s periods (6..10 s), or the whole run.
TEST(Summary, EvaluatesTheLastPeriodsOnly) {
    const std::vector<Column> columns = {
        {"rig.bottom_pressure", "Pa", "rig", "bottom_pressure", true},
        {"rig.displacer_velocity", "m/s", "rig", "displacer_velocity", false},
        {"observer.displacer_velocity_estimate", "m/s", "observer", "displacer_velocity_estimate", true},
    };
    const struct {
        double period;
        double first_time, mean_bar;
    } cases[] = {{2.0, 6.0, 8.0}, {0.0, 0.0, 5.0}};
    for (const auto& c : cases) {
        Scenario scenario;
        scenario.duration = 10;
        scenario.summary_period = c.period;
        scenario.summary_periods = 2;
        SummarySink sink(scenario);
        sink.begin(columns);
        for (int t = 0; t <= 10; ++t) sink.row(t, {t * 1e5, 1.0, t % 2 ? 1.5 : 1.0});
        const auto& p = sink.bottomPressure();
        EXPECT_EQ(p.min, c.first_time * 1e5);
        EXPECT_EQ(p.max, 10e5);
        EXPECT_DOUBLE_EQ(p.mean(), c.mean_bar * 1e5);
        const long rows = p.count, odd = rows / 2; // every other row is off by 0.5 m/s
        EXPECT_DOUBLE_EQ(sink.estimateRmsError(), std::sqrt(0.25 * odd / rows));
        EXPECT_NE(sink.report().find("swing " + std::to_string(10 - int(c.first_time)) + ".0000 bar"),
                  std::string::npos)
            << sink.report();
    }
}

} // namespace
} // namespace tavrel::sim
