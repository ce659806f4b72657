// The progress line on standard error of a run of many cases, wherever they run (local
// workers, a Dask cluster, an optimisation's evaluations): "[####....] 12/40 cases, 1 failed,
// ETA 0m42s", the estimate from the cases run since it started.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace tavrel::study {

class ProgressBar {
  public:
    // `done` cases of `total` are done before it starts; `unit` names them ("cases").
    ProgressBar(bool on, size_t total, size_t done, std::string unit = "cases");
    void update(size_t done, size_t failed) const;
    // A line of its own text in place of the bar (an optimisation's best so far).
    void show(const std::string& text) const;
    void close() const;

  private:
    bool on_;
    size_t total_, start_done_;
    std::string unit_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace tavrel::study
