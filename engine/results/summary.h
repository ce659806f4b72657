// The run's summary over its window (the last displacer periods, or from a given time): the
// bottom pressure of every rig (range, spread, percentiles), the time outside the engineer's
// pressure window, and how well an observer's estimate follows the true displacer velocity.
#pragma once

#include "series_stats.h"
#include "simulation.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace tavrel::sim {

class SummarySink : public ResultSink {
  public:
    // Evaluates rows from the scenario's summary window on.
    explicit SummarySink(const Scenario& scenario);
    // Fails when the pressure window names a column that is not logged.
    void begin(const std::vector<Column>& columns) override;
    void row(double time, const std::vector<double>& values) override;
    void end() override {}

    // A few lines for the console and summary.txt.
    std::string report() const;
    // The same in SI units with names, for summary.json and the report page.
    nlohmann::ordered_json json() const;

    struct Range {
        long count = 0;
        double min = 0, max = 0, sum = 0;
        void add(double v);
        double mean() const { return count ? sum / count : 0; }
    };
    // The first rig's bottom pressure.
    const Range& bottomPressure() const;
    double estimateRmsError() const;
    double trueAmplitude() const {
        return true_velocity_.count ? (true_velocity_.max - true_velocity_.min) / 2 : 0;
    }
    double estimateAmplitude() const {
        return estimate_.count ? (estimate_.max - estimate_.min) / 2 : 0;
    }

  private:
    struct Pressure { // one rig's bottom pressure
        size_t column = 0;
        std::string name;
        Range range;
        Distribution distribution;
    };
    struct Window {
        PressureWindow bounds;
        size_t column = 0;
        std::string unit;
        ExcursionCount count;
    };
    std::string windowLine(const Window& window) const;

    double window_start_ = 0;
    double window_length_ = 0;
    bool from_given_ = false;
    bool periodic_ = false;
    std::vector<Pressure> pressures_;
    std::optional<PressureWindow> window_bounds_;
    std::optional<Window> window_;
    int true_velocity_column_ = -1;
    int estimate_column_ = -1;
    std::string true_velocity_name_, estimate_name_;
    Range true_velocity_, estimate_;
    double squared_error_ = 0;
};

} // namespace tavrel::sim
