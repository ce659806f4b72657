// Statistics of one series over the summary window that describe an irregular run, where a
// minimum and a maximum of a random sea say little: the spread, the percentiles, and the time
// spent outside the engineer's pressure window.
#pragma once

#include <vector>

namespace tavrel::sim {

// The values of a series, kept for its spread and percentiles.
class Distribution {
  public:
    void add(double v) { values_.push_back(v); }
    long count() const { return static_cast<long>(values_.size()); }
    // The population standard deviation (about the mean of these values).
    double standardDeviation() const;
    // The p-th percentile, 0 <= p <= 100, linear between the order statistics (the rank
    // p/100 (n - 1) of the sorted values). NaN without values.
    double percentile(double p) const;

  private:
    std::vector<double> values_;
};

// Rows outside [min, max]: their share of the rows, the excursions (runs of rows outside), the
// deepest one (how far past the bound it went) and the longest (first row outside to the first
// row back inside, or to the last row).
class ExcursionCount {
  public:
    ExcursionCount(double min, double max) : min_(min), max_(max) {}
    void add(double time, double v);
    long rows() const { return rows_; }
    double outsidePercent() const { return rows_ ? 100.0 * outside_ / double(rows_) : 0; }
    long excursions() const { return excursions_; }
    double worstDepth() const { return worst_depth_; } // 0 when never outside
    double worstTime() const { return worst_time_; }
    double longest() const;

  private:
    double min_, max_;
    long rows_ = 0, outside_ = 0, excursions_ = 0;
    double worst_depth_ = 0, worst_time_ = 0;
    double longest_ = 0, current_start_ = 0, last_time_ = 0;
    bool outside_now_ = false;
};

} // namespace tavrel::sim
