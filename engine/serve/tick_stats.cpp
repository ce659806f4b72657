#include "tick_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrel::serve {

bool TickStats::add(double lateness, double drift) {
    lateness_.push_back(lateness);
    max_drift_ = std::max(max_drift_, std::fabs(drift));
    last_drift_ = drift;
    const bool late = lateness > late_after_;
    late_ += late;
    return late;
}

// The nearest-rank quantile.
double TickStats::quantile(double q) const {
    if (lateness_.empty()) return 0;
    std::vector<double> sorted = lateness_;
    const size_t rank =
        std::min(sorted.size() - 1, size_t(std::ceil(q * double(sorted.size()))) - (q > 0));
    std::nth_element(sorted.begin(), sorted.begin() + long(rank), sorted.end());
    return sorted[rank];
}

double TickStats::maxLateness() const {
    return lateness_.empty() ? 0 : *std::max_element(lateness_.begin(), lateness_.end());
}

std::string TickStats::report() const {
    char text[320];
    std::snprintf(text, sizeof text,
                  "Tick lateness over %zu ticks: p50 %.3f ms, p99 %.3f ms, max %.3f ms; %ld late "
                  "(more than %.3f ms)\nDrift of the simulated time from the wall clock: %.3f ms "
                  "at the last tick, at most %.3f ms\n",
                  ticks(), 1e3 * quantile(0.5), 1e3 * quantile(0.99), 1e3 * maxLateness(), late_,
                  1e3 * late_after_, 1e3 * last_drift_, 1e3 * max_drift_);
    return text;
}

} // namespace tavrel::serve
