#include "metrics.h"

#include "names.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>

namespace tavrel::study {

namespace {

struct StatName {
    const char* name;
    Stat stat;
};

constexpr StatName stat_names[] = {{"min", Stat::min},
                                   {"max", Stat::max},
                                   {"mean", Stat::mean},
                                   {"swing", Stat::swing},
                                   {"rms", Stat::rms},
                                   {"final", Stat::final},
                                   {"amplitude", Stat::amplitude},
                                   {"phase", Stat::phase},
                                   {"std", Stat::std},
                                   {"p1", Stat::p1},
                                   {"p99", Stat::p99},
                                   {"band", Stat::band},
                                   {"outside", Stat::outside},
                                   {"excursions", Stat::excursions},
                                   {"worst", Stat::worst}};

std::string statList() {
    std::string list;
    for (const auto& s : stat_names)
        list += (list.empty() ? "" : ", ") + std::string(s.name);
    return list;
}

constexpr double pi = 3.14159265358979323846;

size_t columnIndex(const std::vector<sim::Column>& columns, const std::string& name) {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == name) return i;
    }
    return columns.size();
}

} // namespace

std::string parseMetric(const std::string& text, Metric& metric) {
    metric.text = text;
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return "must be COLUMN:STAT";
    const std::string stat = text.substr(colon + 1);
    const auto known = std::find_if(std::begin(stat_names), std::end(stat_names),
                                    [&](const StatName& s) { return stat == s.name; });
    if (known == std::end(stat_names)) {
        std::vector<std::string> names;
        for (const auto& s : stat_names)
            names.emplace_back(s.name);
        const std::string nearest = didYouMean(stat, names);
        return "unknown statistic \"" + stat + "\"" +
               (nearest.empty() ? " (one of " + statList() + ")" : nearest);
    }
    metric.stat = known->stat;
    metric.column = text.substr(0, colon);
    metric.minus.clear();
    metric.measured_file.clear();
    metric.measured.reset();
    if (const auto tilde = metric.column.find('~'); tilde != std::string::npos) {
        metric.measured_file = metric.column.substr(tilde + 1);
        metric.column.resize(tilde);
        if (metric.column.empty() || metric.measured_file.empty())
            return "a misfit must be COLUMN~FILE:rms";
        if (metric.stat != Stat::rms) return "a misfit's statistic must be rms";
        return {};
    }
    if (const auto dash = metric.column.find('-'); dash != std::string::npos) {
        metric.minus = metric.column.substr(dash + 1);
        metric.column.resize(dash);
        if (metric.column.empty() || metric.minus.empty()) return "a difference must be A-B";
    }
    return {};
}

std::string loadMeasured(Metric& metric, const std::string& folder) {
    std::filesystem::path file = metric.measured_file;
    if (file.is_relative()) file = std::filesystem::path(folder) / file;
    try {
        metric.measured =
            std::make_shared<const MeasuredSeries>(readMeasured(file.string(), metric.column));
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return {};
}

std::string metricUnit(const Metric& metric, const std::string& column_unit) {
    switch (metric.stat) {
    case Stat::phase: return "rad";
    case Stat::outside: return "%";
    case Stat::excursions: return "";
    default: return column_unit;
    }
}

std::string missingColumn(const std::vector<Metric>& metrics,
                          const std::vector<sim::Column>& columns) {
    for (const auto& m : metrics) {
        for (const std::string* name : {&m.column, &m.minus}) {
            if (name->empty()) continue;
            if (columnIndex(columns, *name) == columns.size()) return *name;
        }
    }
    return {};
}

void MetricSink::Accumulator::addMisfit(double time, double v) {
    if (!measured->covers(time)) return;
    const double d = v - measured->at(time, hint);
    sum_squares += d * d;
    ++count;
}

void MetricSink::Accumulator::add(double time, double v, double omega) {
    min = count ? std::min(min, v) : v;
    max = count ? std::max(max, v) : v;
    sum += v;
    sum_squares += v * v;
    last = v;
    const double c = v * std::cos(omega * time);
    const double s = v * std::sin(omega * time);
    if (count) {
        const double dt = time - last_time;
        integral_cos += 0.5 * (last_cos + c) * dt;
        integral_sin += 0.5 * (last_sin + s) * dt;
    } else {
        first_time = time;
    }
    last_time = time;
    last_cos = c;
    last_sin = s;
    ++count;
}

MetricSink::MetricSink(const std::vector<Metric>& metrics, const sim::Scenario& scenario)
    : metrics_(metrics) {
    // The same window as the run's summary.
    window_start_ = scenario.summaryWindowStart();
    omega_ = scenario.summary_period > 0 ? 2 * pi / scenario.summary_period : 0;
    window_ = scenario.summary_window;
}

void MetricSink::begin(const std::vector<sim::Column>& columns) {
    accumulators_.assign(metrics_.size(), {});
    for (size_t i = 0; i < metrics_.size(); ++i) {
        const std::string missing = missingColumn({metrics_[i]}, columns);
        if (!missing.empty()) {
            throw sim::SimulationError("metric " + metrics_[i].text + ": no logged column \"" +
                                       missing + "\"");
        }
        accumulators_[i].a = columnIndex(columns, metrics_[i].column);
        if (metrics_[i].misfit()) {
            if (!metrics_[i].measured)
                throw sim::SimulationError("metric " + metrics_[i].text +
                                           ": measured file not read");
            accumulators_[i].measured = metrics_[i].measured.get();
        }
        if (metrics_[i].needsValues()) accumulators_[i].values.emplace();
        if (metrics_[i].needsWindow()) {
            if (!window_)
                throw sim::SimulationError("metric " + metrics_[i].text +
                                           ": the scenario has no [summary] window");
            accumulators_[i].outside.emplace(window_->min, window_->max);
        }
        accumulators_[i].difference = !metrics_[i].minus.empty();
        if (accumulators_[i].difference)
            accumulators_[i].b = columnIndex(columns, metrics_[i].minus);
    }
}

void MetricSink::row(double time, const std::vector<double>& values) {
    for (auto& acc : accumulators_) {
        if (acc.measured) acc.addMisfit(time, values[acc.a]);
    }
    if (time < window_start_ - 1e-9) return;
    for (auto& acc : accumulators_) {
        if (acc.measured) continue;
        const double v = acc.difference ? values[acc.a] - values[acc.b] : values[acc.a];
        acc.add(time, v, omega_);
        if (acc.values) acc.values->add(v);
        if (acc.outside) acc.outside->add(time, v);
    }
}

double MetricSink::value(const Accumulator& acc, Stat stat) const {
    if (acc.count == 0) return std::numeric_limits<double>::quiet_NaN();
    const double span = acc.last_time - acc.first_time;
    switch (stat) {
    case Stat::min: return acc.min;
    case Stat::max: return acc.max;
    case Stat::mean: return acc.sum / static_cast<double>(acc.count);
    case Stat::swing: return acc.max - acc.min;
    case Stat::rms: return std::sqrt(acc.sum_squares / static_cast<double>(acc.count));
    case Stat::final: return acc.last;
    case Stat::amplitude:
        return span > 0 ? 2 / span * std::hypot(acc.integral_cos, acc.integral_sin)
                        : std::numeric_limits<double>::quiet_NaN();
    case Stat::phase:
        return span > 0 ? std::atan2(acc.integral_cos, acc.integral_sin)
                        : std::numeric_limits<double>::quiet_NaN();
    case Stat::std: return acc.values->standardDeviation();
    case Stat::p1: return acc.values->percentile(1);
    case Stat::p99: return acc.values->percentile(99);
    case Stat::band: return acc.values->percentile(99) - acc.values->percentile(1);
    case Stat::outside: return acc.outside->outsidePercent();
    case Stat::excursions: return static_cast<double>(acc.outside->excursions());
    case Stat::worst: return acc.outside->worstDepth();
    }
    return std::numeric_limits<double>::quiet_NaN();
}

std::vector<double> MetricSink::values() const {
    std::vector<double> out;
    for (size_t i = 0; i < metrics_.size(); ++i) {
        out.push_back(accumulators_.empty() ? std::numeric_limits<double>::quiet_NaN()
                                            : value(accumulators_[i], metrics_[i].stat));
    }
    return out;
}

} // namespace tavrel::study
