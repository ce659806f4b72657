#include "summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace tavrel::sim {
namespace {

using Role = PortRole;

// Rows at t = 0..10 s; the window is the last two 2 s periods (6..10 s), or the whole run.
TEST(Summary, EvaluatesTheLastPeriodsOnly) {
    const std::vector<Column> columns = {
        {"rig.bottom_pressure", "Pa", "rig", "bottom_pressure", true, Role::bottom_pressure},
        {"rig.displacer_velocity", "m/s", "rig", "displacer_velocity", false,
         Role::displacer_velocity},
        {"observer.displacer_velocity_estimate", "m/s", "observer", "displacer_velocity_estimate",
         true, Role::displacer_velocity_estimate},
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
        for (int t = 0; t <= 10; ++t)
            sink.row(t, {t * 1e5, 1.0, t % 2 ? 1.5 : 1.0});
        const auto& p = sink.bottomPressure();
        EXPECT_EQ(p.min, c.first_time * 1e5);
        EXPECT_EQ(p.max, 10e5);
        EXPECT_DOUBLE_EQ(p.mean(), c.mean_bar * 1e5);
        const long rows = p.count, odd = rows / 2; // every other row is off by 0.5 m/s
        EXPECT_DOUBLE_EQ(sink.estimateRmsError(), std::sqrt(0.25 * odd / rows));
        EXPECT_NE(
            sink.report().find("swing " + std::to_string(10 - int(c.first_time)) + ".0000 bar"),
            std::string::npos)
            << sink.report();
    }
}

// The window is the run's last periods wherever the run starts; a row a rounding error before
// its start belongs to it, a row a hundredth of a second before does not.
TEST(Summary, WindowFollowsTheStartTime) {
    Scenario scenario;
    scenario.start_time = 100;
    scenario.duration = 10;
    scenario.summary_period = 2;
    scenario.summary_periods = 2; // from 106 s
    SummarySink sink(scenario);
    sink.begin(
        {{"rig.bottom_pressure", "Pa", "rig", "bottom_pressure", true, Role::bottom_pressure}});
    for (double t : {100.0, 105.99, 106.0 - 1e-12, 108.0, 110.0})
        sink.row(t, {t});
    EXPECT_EQ(sink.bottomPressure().count, 3);
    EXPECT_EQ(sink.bottomPressure().min, 106.0 - 1e-12);
    EXPECT_NE(sink.report().find("Summary over the last 4 s:"), std::string::npos);
}

// Known signals: the displacer velocity alternates between +-0.8 m/s and the estimate between
// +-0.9 m/s, so the estimate is off by 0.1 m/s at every row. Every rig's bottom pressure is
// reported, and the true velocity is the role's first column (not another block's output of
// that name); a line whose columns are not logged is left out.
TEST(Summary, MetricsOfKnownSignalsFromTheRightColumns) {
    const std::vector<Column> all = {
        {"pump.displacer_velocity", "m/s", "pump", "displacer_velocity", true},
        {"rig.bottom_pressure", "Pa", "rig", "bottom_pressure", true, Role::bottom_pressure},
        {"rig.displacer_velocity", "m/s", "rig", "displacer_velocity", false,
         Role::displacer_velocity},
        {"rig2.bottom_pressure", "Pa", "rig2", "bottom_pressure", true, Role::bottom_pressure},
        {"observer.displacer_velocity_estimate", "m/s", "observer", "displacer_velocity_estimate",
         true, Role::displacer_velocity_estimate},
    };
    const std::string pressure = "  rig.bottom_pressure: min 398.0000 bar, mean 400.0000 bar, "
                                 "max 402.0000 bar, swing 4.0000 bar\n"
                                 "    std 2.0000 bar, P1 398.0000 bar, P99 402.0000 bar, P1-P99 "
                                 "band 4.0000 bar\n";
    const std::string second_rig = "  rig2.bottom_pressure: min 0.0000 bar, mean 0.0000 bar, max "
                                   "0.0000 bar, swing 0.0000 bar\n"
                                   "    std 0.0000 bar, P1 0.0000 bar, P99 0.0000 bar, P1-P99 "
                                   "band 0.0000 bar\n";
    const std::string estimate =
        "  observer.displacer_velocity_estimate vs rig.displacer_velocity: amplitude 0.9000 m/s vs "
        "0.8000 m/s, RMS error 0.1000 m/s (12.5% of the true amplitude)\n";
    const struct {
        std::vector<std::string> logged;
        std::string lines;
    } cases[] = {
        {{"pump.displacer_velocity", "rig.bottom_pressure", "rig.displacer_velocity",
          "rig2.bottom_pressure", "observer.displacer_velocity_estimate"},
         pressure + second_rig + estimate},
        {{"rig.bottom_pressure", "rig.displacer_velocity"}, pressure},
        {{"rig.displacer_velocity", "observer.displacer_velocity_estimate"}, estimate},
        {{"pump.displacer_velocity", "observer.displacer_velocity_estimate"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<Column> columns;
        for (const auto& name : c.logged) {
            for (const auto& column : all)
                if (column.name == name) columns.push_back(column);
        }
        Scenario scenario;
        scenario.duration = 8;
        SummarySink sink(scenario);
        sink.begin(columns);
        for (int t = 0; t <= 7; ++t) { // equal counts of + and -
            const double sign = t % 2 ? 1.0 : -1.0;
            const std::map<std::string, double> value = {
                {"pump.displacer_velocity", 99.0},
                {"rig.bottom_pressure", 400e5 + 2e5 * sign},
                {"rig.displacer_velocity", 0.8 * sign},
                {"rig2.bottom_pressure", 0.0},
                {"observer.displacer_velocity_estimate", 0.9 * sign},
            };
            std::vector<double> row;
            for (const auto& column : columns)
                row.push_back(value.at(column.name));
            sink.row(t, row);
        }
        EXPECT_EQ(sink.report(), "Summary over the last 8 s:\n" + c.lines);
    }
}

// A window of [0, 10] bar: rows on a bound are inside; an excursion still open at the end
// counts to the last row.
TEST(Summary, PressureWindowAgainstHandValues) {
    const double bar[] = {0, 5, 12, 13, 5, -4, -1, -2, 5, 11};
    Scenario scenario;
    scenario.duration = 9;
    scenario.summary_window = PressureWindow{"rig.bottom_pressure", 0, 10e5};
    SummarySink sink(scenario);
    const Column pressure{"rig.bottom_pressure", "Pa", "rig",
                          "bottom_pressure",     true, Role::bottom_pressure};
    sink.begin({pressure});
    for (int t = 0; t <= 9; ++t)
        sink.row(t, {bar[t] * 1e5});
    const auto window = sink.json()["window"];
    EXPECT_EQ(window["outside_percent"], 60.0);
    EXPECT_EQ(window["excursions"], 3);
    EXPECT_EQ(window["worst"], 4e5);
    EXPECT_EQ(window["worst_time"], 5.0);
    EXPECT_EQ(window["longest"], 3.0);
    EXPECT_NE(
        sink.report().find("outside 0.0000-10.0000 bar: 60.00% of the time, 3 excursions, "
                           "the worst 4.0000 bar past the window at t = 5 s, the longest 3 s"),
        std::string::npos)
        << sink.report();
    // Sorted: -4 -2 -1 0 5 5 5 11 12 13; P1 at rank 0.09, P99 at rank 8.91.
    const auto p = sink.json()["bottom_pressures"][0];
    EXPECT_NEAR(p["p1"].get<double>(), (-4 + 0.09 * 2) * 1e5, 1e-6);
    EXPECT_NEAR(p["p99"].get<double>(), (12 + 0.91 * 1) * 1e5, 1e-6);

    scenario.summary_window->column = "rig.top_pressure";
    EXPECT_THROW(SummarySink(scenario).begin({pressure}), SimulationError);
}

} // namespace
} // namespace tavrel::sim
