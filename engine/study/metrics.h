// Metrics of a run: "COLUMN:STAT" over the scenario's summary window, COLUMN as logged
// (without its unit) or "A-B" for the difference of two columns; or a misfit "COLUMN~FILE:rms",
// the RMS difference between the column and a measured series over the output times the
// series covers (the whole run, not the summary window).
#pragma once

#include "measured.h"
#include "series_stats.h"
#include "simulation.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::study {

enum class Stat {
    min,
    max,
    mean,
    swing,
    rms,
    final,
    amplitude,
    phase,
    std,        // population standard deviation
    p1,         // 1st percentile
    p99,        // 99th percentile
    band,       // p99 - p1
    outside,    // % of the window's rows outside the scenario's [summary] window
    excursions, // runs of rows outside it
    worst       // the deepest excursion past its bounds (0 when never outside)
};

struct Metric {
    std::string text;   // as written
    std::string column; // or the minuend of a difference
    std::string minus;  // subtrahend of a difference, empty otherwise
    Stat stat = Stat::min;
    std::string measured_file;                      // a misfit's file as written, else empty
    std::shared_ptr<const MeasuredSeries> measured; // read by loadMeasured
    bool misfit() const { return !measured_file.empty(); }
    bool needsPeriod() const { return stat == Stat::amplitude || stat == Stat::phase; }
    bool needsWindow() const {
        return stat == Stat::outside || stat == Stat::excursions || stat == Stat::worst;
    }
    bool needsValues() const {
        return stat == Stat::std || stat == Stat::p1 || stat == Stat::p99 || stat == Stat::band;
    }
};

// Parses "COLUMN:STAT"; returns an empty rule text on success, else what is wrong.
std::string parseMetric(const std::string& text, Metric& metric);

// Reads a misfit's measured file (relative to `folder`); returns what is wrong, else empty.
std::string loadMeasured(Metric& metric, const std::string& folder);

// The unit of a metric's value given its column's unit.
std::string metricUnit(const Metric& metric, const std::string& column_unit);

// Names the first metric whose column is not among `columns`, or returns empty.
std::string missingColumn(const std::vector<Metric>& metrics,
                          const std::vector<sim::Column>& columns);

// Reduces the rows of a run to the metrics' values. Amplitude and phase are the first harmonic
// at the summary period by Fourier projection (trapezoidal), v ~ mean + A sin(2 pi t / P + phase);
// outside, excursions and worst count against the bounds of the scenario's [summary] window.
class MetricSink : public sim::ResultSink {
  public:
    MetricSink(const std::vector<Metric>& metrics, const sim::Scenario& scenario);
    void begin(const std::vector<sim::Column>& columns) override;
    void row(double time, const std::vector<double>& values) override;
    void end() override {}
    std::vector<double> values() const; // NaN for a metric without rows in the window

  private:
    struct Accumulator {
        size_t a = 0, b = 0; // column indices (b only for a difference)
        bool difference = false;
        long count = 0;
        double min = 0, max = 0, sum = 0, sum_squares = 0, last = 0;
        double first_time = 0, last_time = 0, last_cos = 0, last_sin = 0;
        double integral_cos = 0, integral_sin = 0;
        const MeasuredSeries* measured = nullptr; // a misfit's series
        size_t hint = 0;
        std::optional<sim::Distribution> values;    // for spread and percentiles
        std::optional<sim::ExcursionCount> outside; // for the pressure window's statistics
        void add(double time, double v, double omega);
        void addMisfit(double time, double v);
    };
    double value(const Accumulator& acc, Stat stat) const;

    std::vector<Metric> metrics_;
    std::vector<Accumulator> accumulators_;
    double window_start_ = 0;
    double omega_ = 0;
    std::optional<sim::PressureWindow> window_;
};

} // namespace tavrel::study
