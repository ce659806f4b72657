// How late the paced ticks came against the wall clock, and how far the simulated time strayed
// from it.
#pragma once

#include <string>
#include <vector>

namespace tavrel::serve {

class TickStats {
  public:
    // A tick more than `late_after` seconds behind its deadline counts as late.
    explicit TickStats(double late_after) : late_after_(late_after) {}
    // Returns whether the tick was late.
    bool add(double lateness, double drift);
    double quantile(double q) const; // of the lateness [s]
    double maxLateness() const;
    long late() const { return late_; }
    size_t ticks() const { return lateness_.size(); }
    double maxDrift() const { return max_drift_; }   // |drift| [s]
    double lastDrift() const { return last_drift_; } // at the last tick [s]
    std::string report() const;

  private:
    double late_after_;
    std::vector<double> lateness_;
    long late_ = 0;
    double max_drift_ = 0, last_drift_ = 0;
};

} // namespace tavrel::serve
