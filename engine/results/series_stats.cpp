#include "series_stats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavrel::sim {

// Two passes: the mean first, so that a swing of a few bar around 400 bar loses no digits.
double Distribution::standardDeviation() const {
    if (values_.empty()) return std::numeric_limits<double>::quiet_NaN();
    double sum = 0;
    for (double v : values_)
        sum += v;
    const double mean = sum / double(values_.size());
    double squares = 0;
    for (double v : values_)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / double(values_.size()));
}

double Distribution::percentile(double p) const {
    if (values_.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    const double rank = std::clamp(p, 0.0, 100.0) / 100 * double(sorted.size() - 1);
    const auto below = static_cast<size_t>(std::floor(rank));
    const size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (rank - double(below)) * (sorted[above] - sorted[below]);
}

void ExcursionCount::add(double time, double v) {
    const double depth = v > max_ ? v - max_ : v < min_ ? min_ - v : 0;
    const bool outside = depth > 0;
    if (outside) {
        ++outside_;
        if (!outside_now_) {
            ++excursions_;
            current_start_ = time;
        }
        if (depth > worst_depth_) {
            worst_depth_ = depth;
            worst_time_ = time;
        }
    } else if (outside_now_) {
        longest_ = std::max(longest_, time - current_start_);
    }
    outside_now_ = outside;
    last_time_ = time;
    ++rows_;
}

double ExcursionCount::longest() const {
    return outside_now_ ? std::max(longest_, last_time_ - current_start_) : longest_;
}

} // namespace tavrel::sim
