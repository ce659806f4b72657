// The run's summary: bottom pressure over the last displacer periods, and how well an
// observer's estimate follows the true displacer velocity there.
#pragma once

#include "simulation.h"

#include <string>

namespace tavrel::sim {

class SummarySink : public ResultSink {
  public:
    // Evaluates rows from `window_start` on (the last periods of the run).
    explicit SummarySink(const Scenario& scenario);
    void begin(const std::vector<Column>& columns) override;
    void row(double time, const std::vector<double>& values) override;
    void end() override {}

    // A few lines for the console and summary.txt.
    std::string report() const;

    struct Range {
        long count = 0;
        double min = 0, max = 0, sum = 0;
        void add(double v);
        double mean() const { return count ? sum / count : 0; }
    };
    const Range& bottomPressure() const { return bottom_pressure_; }
    double estimateRmsError() const;
    double trueAmplitude() const {
        return true_velocity_.count ? (true_velocity_.max - true_velocity_.min) / 2 : 0;
    }
    double estimateAmplitude() const {
        return estimate_.count ? (estimate_.max - estimate_.min) / 2 : 0;
    }

  private:
    double window_start_ = 0;
    double window_length_ = 0;
    int bottom_pressure_column_ = -1;
    int true_velocity_column_ = -1;
    int estimate_column_ = -1;
    std::string bottom_pressure_name_, true_velocity_name_, estimate_name_;
    Range bottom_pressure_, true_velocity_, estimate_;
    double squared_error_ = 0;
};

} // namespace tavrel::sim
