#include "summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrel::sim {

void SummarySink::Range::add(double v) {
    min = count ? std::min(min, v) : v;
    max = count ? std::max(max, v) : v;
    sum += v;
    ++count;
}

SummarySink::SummarySink(const Scenario& scenario)
    : window_start_(scenario.summaryWindowStart()), window_length_(scenario.summaryWindowLength()) {
}

// The first logged column of each role the descriptions give: the well's bottom pressure, the
// true displacer velocity, its estimate.
void SummarySink::begin(const std::vector<Column>& columns) {
    struct Wanted {
        PortRole role;
        int& column;
        std::string& name;
    };
    const Wanted wanted[] = {
        {PortRole::bottom_pressure, bottom_pressure_column_, bottom_pressure_name_},
        {PortRole::displacer_velocity, true_velocity_column_, true_velocity_name_},
        {PortRole::displacer_velocity_estimate, estimate_column_, estimate_name_},
    };
    for (size_t i = 0; i < columns.size(); ++i) {
        for (const auto& w : wanted) {
            if (w.column < 0 && columns[i].role == w.role) {
                w.column = int(i);
                w.name = columns[i].name;
            }
        }
    }
}

void SummarySink::row(double time, const std::vector<double>& values) {
    if (time < window_start_ - 1e-9) return;
    if (bottom_pressure_column_ >= 0) bottom_pressure_.add(values[size_t(bottom_pressure_column_)]);
    if (true_velocity_column_ >= 0) true_velocity_.add(values[size_t(true_velocity_column_)]);
    if (estimate_column_ >= 0) {
        estimate_.add(values[size_t(estimate_column_)]);
        if (true_velocity_column_ >= 0) {
            const double e =
                values[size_t(estimate_column_)] - values[size_t(true_velocity_column_)];
            squared_error_ += e * e;
        }
    }
}

double SummarySink::estimateRmsError() const {
    return estimate_.count ? std::sqrt(squared_error_ / static_cast<double>(estimate_.count)) : 0;
}

std::string SummarySink::report() const {
    char line[256];
    std::string text;
    std::snprintf(line, sizeof line, "Summary over the last %.6g s:\n", window_length_);
    text += line;
    if (bottom_pressure_.count) {
        const auto& p = bottom_pressure_;
        std::snprintf(line, sizeof line,
                      "  %s: min %.4f bar, mean %.4f bar, max %.4f bar, swing %.4f bar\n",
                      bottom_pressure_name_.c_str(), p.min / 1e5, p.mean() / 1e5, p.max / 1e5,
                      (p.max - p.min) / 1e5);
        text += line;
    }
    if (estimate_.count && true_velocity_.count) {
        std::snprintf(line, sizeof line,
                      "  %s vs %s: amplitude %.4f m/s vs %.4f m/s, RMS error %.4f m/s (%.1f%% of "
                      "the true amplitude)\n",
                      estimate_name_.c_str(), true_velocity_name_.c_str(), estimateAmplitude(),
                      trueAmplitude(), estimateRmsError(),
                      trueAmplitude() > 0 ? 100 * estimateRmsError() / trueAmplitude() : 0.0);
        text += line;
    }
    return text;
}

} // namespace tavrel::sim
