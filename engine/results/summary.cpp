#include "summary.h"

#include "units.h"

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
    : window_start_(scenario.summaryWindowStart()), window_length_(scenario.summaryWindowLength()),
      from_given_(scenario.summary_from.has_value()), periodic_(scenario.summary_period > 0),
      window_bounds_(scenario.summary_window) {}

// Every rig's bottom pressure; the first logged column of the true displacer velocity and of
// its estimate; the pressure window's column.
void SummarySink::begin(const std::vector<Column>& columns) {
    struct Wanted {
        PortRole role;
        int& column;
        std::string& name;
    };
    const Wanted wanted[] = {
        {PortRole::displacer_velocity, true_velocity_column_, true_velocity_name_},
        {PortRole::displacer_velocity_estimate, estimate_column_, estimate_name_},
    };
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].role == PortRole::bottom_pressure) {
            pressures_.push_back({i, columns[i].name, {}, {}});
        }
        for (const auto& w : wanted) {
            if (w.column < 0 && columns[i].role == w.role) {
                w.column = int(i);
                w.name = columns[i].name;
            }
        }
    }
    if (!window_bounds_) return;
    const auto found = std::find_if(columns.begin(), columns.end(), [&](const Column& c) {
        return c.name == window_bounds_->column;
    });
    if (found == columns.end()) {
        throw SimulationError("[summary] window: column \"" + window_bounds_->column +
                              "\" is not logged");
    }
    window_.emplace(Window{*window_bounds_, size_t(found - columns.begin()), found->unit,
                           ExcursionCount(window_bounds_->min, window_bounds_->max)});
}

void SummarySink::row(double time, const std::vector<double>& values) {
    if (time < window_start_ - 1e-9) return;
    for (auto& p : pressures_) {
        p.range.add(values[p.column]);
        p.distribution.add(values[p.column]);
    }
    if (window_) window_->count.add(time, values[window_->column]);
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

const SummarySink::Range& SummarySink::bottomPressure() const {
    static const Range none;
    return pressures_.empty() ? none : pressures_.front().range;
}

double SummarySink::estimateRmsError() const {
    return estimate_.count ? std::sqrt(squared_error_ / static_cast<double>(estimate_.count)) : 0;
}

std::string SummarySink::windowLine(const Window& w) const {
    const DisplayUnit s = displayUnit(w.unit);
    char line[400];
    int used = std::snprintf(line, sizeof line,
                             "  %s outside %.4f-%.4f %s: %.2f%% of the time, %ld excursions",
                             w.bounds.column.c_str(), w.bounds.min / s.size, w.bounds.max / s.size,
                             s.shown.c_str(), w.count.outsidePercent(), w.count.excursions());
    if (w.count.excursions() > 0 && used > 0 && size_t(used) < sizeof line) {
        std::snprintf(line + used, sizeof line - size_t(used),
                      ", the worst %.4f %s past the window at t = %.6g s, the longest %.6g s",
                      w.count.worstDepth() / s.size, s.shown.c_str(), w.count.worstTime(),
                      w.count.longest());
    }
    return std::string(line) + "\n";
}

std::string SummarySink::report() const {
    char line[400];
    std::string text;
    if (from_given_) {
        std::snprintf(line, sizeof line, "Summary from %.6g s to %.6g s:\n", window_start_,
                      window_start_ + window_length_);
    } else {
        std::snprintf(line, sizeof line, "Summary over the last %.6g s:\n", window_length_);
    }
    text += line;
    const DisplayUnit bar = displayUnit("Pa");
    const char* shown = bar.shown.c_str();
    for (const auto& p : pressures_) {
        if (!p.range.count) continue;
        const auto& r = p.range;
        std::snprintf(line, sizeof line,
                      "  %s: min %.4f %s, mean %.4f %s, max %.4f %s, swing %.4f %s\n",
                      p.name.c_str(), r.min / bar.size, shown, r.mean() / bar.size, shown,
                      r.max / bar.size, shown, (r.max - r.min) / bar.size, shown);
        text += line;
        const auto& d = p.distribution;
        const double p1 = d.percentile(1), p99 = d.percentile(99);
        std::snprintf(line, sizeof line,
                      "    std %.4f %s, P1 %.4f %s, P99 %.4f %s, P1-P99 band %.4f %s\n",
                      d.standardDeviation() / bar.size, shown, p1 / bar.size, shown, p99 / bar.size,
                      shown, (p99 - p1) / bar.size, shown);
        text += line;
    }
    if (window_ && window_->count.rows()) text += windowLine(*window_);
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

nlohmann::ordered_json SummarySink::json() const {
    using Json = nlohmann::ordered_json;
    Json out = {{"from", window_start_},
                {"to", window_start_ + window_length_},
                {"window_from", from_given_ ? "from"
                                : periodic_ ? "periods"
                                            : "run"}};
    Json pressures = Json::array();
    for (const auto& p : pressures_) {
        if (!p.range.count) continue;
        const auto& d = p.distribution;
        const double p1 = d.percentile(1), p99 = d.percentile(99);
        pressures.push_back({{"column", p.name},
                             {"unit", "Pa"},
                             {"min", p.range.min},
                             {"mean", p.range.mean()},
                             {"max", p.range.max},
                             {"swing", p.range.max - p.range.min},
                             {"std", d.standardDeviation()},
                             {"p1", p1},
                             {"p99", p99},
                             {"band", p99 - p1}});
    }
    out["bottom_pressures"] = pressures;
    if (window_ && window_->count.rows()) {
        const auto& c = window_->count;
        out["window"] = {{"column", window_->bounds.column},
                         {"unit", window_->unit},
                         {"min", window_->bounds.min},
                         {"max", window_->bounds.max},
                         {"outside_percent", c.outsidePercent()},
                         {"excursions", c.excursions()},
                         {"worst", c.worstDepth()},
                         {"worst_time", c.worstTime()},
                         {"longest", c.longest()}};
    }
    if (estimate_.count && true_velocity_.count) {
        out["observer"] = {{"estimate", estimate_name_},
                           {"true", true_velocity_name_},
                           {"estimate_amplitude", estimateAmplitude()},
                           {"true_amplitude", trueAmplitude()},
                           {"rms_error", estimateRmsError()}};
    }
    return out;
}

} // namespace tavrel::sim
