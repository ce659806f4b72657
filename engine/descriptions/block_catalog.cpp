#include "block_catalog.h"

#include "block_descriptions.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace tavrel::sim {

namespace {

double first(const ParamSet& params, int k) {
    const auto& values = params[static_cast<size_t>(k)];
    return values.empty() ? NAN : values[0];
}

std::string number(double v) {
    std::ostringstream s;
    s.precision(10);
    s << v;
    return s.str();
}

std::string nameOf(const BlockDescription& kind, int k) {
    return std::string(kind.params[static_cast<size_t>(k)].name);
}

// Text of the broken rule, empty when it holds.
std::string broken(const BlockDescription& kind, const ParamRule& rule, const ParamSet& params) {
    using Kind = ParamRule::Kind;
    const auto& values = params[static_cast<size_t>(rule.param)];
    switch (rule.kind) {
    case Kind::positive: return first(params, rule.param) > 0 ? "" : "must be positive";
    case Kind::not_negative: return first(params, rule.param) < 0 ? "must not be negative" : "";
    case Kind::above:
        return first(params, rule.param) > first(params, rule.other)
                   ? ""
                   : "must be above " + nameOf(kind, rule.other);
    case Kind::entries_within: {
        const double limit = first(params, rule.other);
        for (size_t i = 0; i < values.size(); ++i) {
            if (!(values[i] >= 0 && values[i] <= limit)) {
                return "entry " + std::to_string(i) + " (" + number(values[i]) +
                       ") lies outside [0, " + nameOf(kind, rule.other) + " = " + number(limit) +
                       "]";
            }
        }
        return "";
    }
    case Kind::min_entries:
    case Kind::table_from_zero:
        if (values.size() < static_cast<size_t>(rule.count))
            return "needs at least " + std::to_string(rule.count) + " entries";
        if (rule.kind == Kind::min_entries) return "";
        if (values.empty() || values[0] != 0) return "must start at 0"; // a count of 0 allows none
        for (size_t i = 1; i < values.size(); ++i) {
            if (values[i] < values[i - 1])
                return "must not decrease (entry " + std::to_string(i) + ")";
        }
        return "";
    case Kind::custom: return rule.check ? rule.check(params) : "";
    }
    return "";
}

// Every value finite; a scalar the block reads holds exactly one.
void checkShapes(const BlockDescription& kind, const ParamSet& params,
                 std::vector<ParamProblem>& problems) {
    for (size_t k = 0; k < kind.params.size(); ++k) {
        const auto& info = kind.params[k];
        if (!std::all_of(params[k].begin(), params[k].end(),
                         [](double v) { return std::isfinite(v); })) {
            problems.push_back({std::string(info.name), "must be finite"});
        }
        if (!info.isVector() && info.isRead() && params[k].size() != 1) {
            problems.push_back({std::string(info.name), "must be a single number"});
        }
    }
}

// Together with the sensors, the fixed outputs must cover those the block always writes.
void checkOutputCount(const BlockDescription& kind, const ParamSet& params,
                      std::vector<ParamProblem>& problems) {
    if (!kind.hasSensors()) return;
    const auto& sensors = params[static_cast<size_t>(kind.sensor_positions_param)];
    const double fixed = first(params, kind.num_fixed_outputs_param);
    if (!(fixed >= 0) || std::trunc(fixed) + static_cast<double>(sensors.size()) <
                             static_cast<double>(kind.min_outputs)) {
        problems.push_back({nameOf(kind, kind.num_fixed_outputs_param),
                            "must be at least 0 and, with the " + std::to_string(sensors.size()) +
                                " sensors, give at least " + std::to_string(kind.min_outputs) +
                                " outputs"});
    }
}

} // namespace

const BlockDescription* findBlockKind(std::string_view block_name) {
    return host::findDescription(block_name);
}

int paramIndex(const BlockDescription& kind, std::string_view name) {
    if (name.empty()) return -1;
    for (size_t k = 0; k < kind.params.size(); ++k) {
        if (kind.params[k].name == name) return static_cast<int>(k);
    }
    return -1;
}

std::vector<PortInfo> outputPorts(const BlockDescription& kind, const ParamSet& params) {
    std::vector<PortInfo> ports;
    if (!kind.hasSensors()) {
        for (const auto& port : kind.fixed_outputs)
            ports.push_back({std::string(port.name), std::string(port.unit), true, port.role});
        return ports;
    }
    const double fixed_value = first(params, kind.num_fixed_outputs_param);
    const int fixed = std::isfinite(fixed_value) && fixed_value > 0
                          ? static_cast<int>(std::min(fixed_value, 1e6))
                          : 0;
    const auto& sensors = params[static_cast<size_t>(kind.sensor_positions_param)];
    for (int k = 0; k < fixed; ++k) {
        if (k < static_cast<int>(kind.fixed_outputs.size())) {
            const auto& port = kind.fixed_outputs[static_cast<size_t>(k)];
            ports.push_back({std::string(port.name), std::string(port.unit), true, port.role});
        } else {
            ports.push_back({"unused[" + std::to_string(k) + "]", "", false});
        }
    }
    const std::string sensor(kind.sensor_output.name);
    for (size_t i = 0; i < sensors.size(); ++i) {
        ports.push_back(
            {sensor + "[" + std::to_string(i) + "]", std::string(kind.sensor_output.unit)});
    }
    return ports;
}

std::vector<ParamProblem> checkParams(const BlockDescription& kind, const ParamSet& params) {
    std::vector<ParamProblem> problems;
    checkShapes(kind, params, problems);
    for (const auto& rule : kind.rules) {
        if (!kind.params[static_cast<size_t>(rule.param)].isRead()) continue;
        if (std::string text = broken(kind, rule, params); !text.empty()) {
            problems.push_back({nameOf(kind, rule.param), std::move(text),
                                rule.other >= 0 ? nameOf(kind, rule.other) : ""});
        }
    }
    checkOutputCount(kind, params, problems);
    return problems;
}

} // namespace tavrel::sim
