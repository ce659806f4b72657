// Optimisation files: the study keys to vary within bounds, what to minimise (study metrics or
// misfits against measured data, weighted and summed), metric bounds to respect, and the search
// method. The search itself is the Python layer's (SciPy); every batch of points it asks for
// becomes a study of those points side by side, so each evaluation validates, runs and gives
// its numbers exactly as a study case does, on local workers or on Dask.
#pragma once

#include "study.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel::study {

enum class Method { nelder_mead, differential_evolution };

struct MethodName {
    const char* name;
    Method method;
};
inline constexpr MethodName method_names[] = {
    {"nelder-mead", Method::nelder_mead},
    {"differential-evolution", Method::differential_evolution}};
const char* methodName(Method method);

// One [[optimize.vary]]: a study key searched within [lower, upper].
struct Bounded {
    std::string key;
    double lower = 0, upper = 0;
    double start = 0; // the given start, else the middle of the bounds
};

// "METRIC <= LIMIT" or "METRIC >= LIMIT".
struct MetricBound {
    std::string text; // as written
    std::string metric;
    bool at_most = true;
    double limit = 0;
    bool holds(double value) const { return at_most ? value <= limit : value >= limit; }
    double violation(double value) const { return holds(value) ? 0 : std::abs(value - limit); }
};

class Optimization {
  public:
    static Optimization load(const std::string& path);
    // Parses and validates (every key, bound, start, metric and measured file); throws
    // StudyError naming the file, the line, the key and the rule before anything runs.
    static Optimization fromSource(StudySource source);
    ~Optimization();
    Optimization(Optimization&&) noexcept;
    Optimization& operator=(Optimization&&) noexcept;

    const StudySource& source() const;
    std::string fingerprint() const;
    const std::vector<Bounded>& vary() const;
    const std::vector<std::string>& objectives() const; // metric texts
    const std::vector<double>& weights() const;         // one per objective
    const std::vector<MetricBound>& constraints() const;
    Method method() const;
    long maxEvaluations() const;
    std::uint64_t seed() const;
    long population() const; // differential evolution: members per varied key

    // The metrics every evaluation computes: the objectives, then the constraints' metrics not
    // among them, each once.
    const std::vector<std::string>& metrics() const;
    // A study of these points (a value per varied key each, in the order of vary()), a case per
    // point. Throws StudyError when a value is refused.
    Study batch(const std::vector<std::vector<double>>& points) const;

  private:
    struct Impl;
    explicit Optimization(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace tavrel::study
