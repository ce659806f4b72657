#include "block_catalog.h"

#include "observer_vocabulary.h"
#include "rig_vocabulary.h"

#include <cmath>
#include <sstream>

namespace tavrel::sim {

namespace {

namespace rp = tavrel::rig::param;
namespace op = tavrel::observer::param;

std::vector<ParamInfo> rigParams(bool piston) {
    std::vector<ParamInfo> list;
    for (int k = 0; k < rp::count; ++k) {
        ParamInfo info{tavrel::rig::param_names[k]};
        info.vector = k == rp::sensor_positions || k == rp::choke_characteristic;
        info.required = k < rp::passage_length || piston;
        if (piston && (k == rp::displacer_loss_linear || k == rp::displacer_loss_quadratic)) {
            info.required = false;
        }
        list.push_back(info);
    }
    return list;
}

std::vector<ParamInfo> observerParams() {
    std::vector<ParamInfo> list;
    for (int k = 0; k < op::count; ++k) {
        ParamInfo info{tavrel::observer::param_names[k] ? tavrel::observer::param_names[k] : ""};
        info.vector = k == op::sensor_positions || k == op::gain_profile_up ||
                      k == op::gain_profile_down;
        info.required = !info.name.empty();
        list.push_back(info);
    }
    return list;
}

const std::vector<PortInfo> rig_inputs = {
    {"choke_setpoint", "1"}, {"displacer_velocity", "m/s"}, {"injection_flow", "m3/s"}};

std::vector<PortInfo> rigOutputs(bool piston) {
    return {{"bottom_pressure", "Pa"}, {"choke_flow", "m3/s"},       {"choke_pressure", "Pa"},
            {"choke_opening", "1"},    {"displacer_pressure", "Pa"},
            // The piston block reports the bottom velocity itself on this port.
            {"bottom_flow", piston ? "m/s" : "m3/s"},                {"top_flow", "m3/s"}};
}

BlockKind rigKind(const std::string& name, bool piston, int cells,
                  std::vector<std::string> extra_states) {
    return {name, rigParams(piston), rig_inputs, rigOutputs(piston), rp::num_fixed_outputs,
            rp::sensor_positions, 7, cells, std::move(extra_states)};
}

const std::vector<BlockKind>& kinds() {
    static const std::vector<BlockKind> all = {
        rigKind("tavrel", false, 150, {"choke_opening", "bottom_velocity_lag"}),
        rigKind("tavrel_piston", true, 150,
                {"choke_opening", "bottom_chamber_pressure", "displacer_chamber_pressure",
                 "passage_flow"}),
        rigKind("tavrel_linear", false, 100, {"choke_opening"}),
        {"tavrel_observer",
         observerParams(),
         {{"measured_top_flow", "m3/s"}, {"measured_top_pressure", "Pa"}},
         {{"bottom_pressure", "Pa"},
          {"displacer_pressure", "Pa"},
          {"top_pressure", "Pa"},
          {"top_flow", "m3/s"},
          {"bottom_flow", "m3/s"},
          {"displacer_velocity_estimate", "m/s"}},
         op::num_fixed_outputs,
         op::sensor_positions,
         6,
         20,
         {"unused_state", "displacer_quadrature", "displacer_velocity_estimate"}},
    };
    return all;
}

double first(const std::vector<std::vector<double>>& params, int k) {
    return params[static_cast<size_t>(k)].empty() ? NAN : params[static_cast<size_t>(k)][0];
}

std::string number(double v) {
    std::ostringstream s;
    s.precision(10);
    s << v;
    return s.str();
}

// Rules every kind shares: finite values, positive physical sizes, sensors on the annulus.
void checkCommon(const BlockKind& kind, const std::vector<std::vector<double>>& params,
                 std::vector<ParamProblem>& problems) {
    for (size_t k = 0; k < kind.params.size(); ++k) {
        for (size_t i = 0; i < params[k].size(); ++i) {
            if (!std::isfinite(params[k][i])) {
                problems.push_back({kind.params[k].name, "must be finite"});
                break;
            }
        }
        if (!kind.params[k].vector && kind.params[k].required && params[k].size() != 1) {
            problems.push_back({kind.params[k].name, "must be a single number"});
        }
    }
    for (const char* name : {"annulus_area", "annulus_length", "density_ref", "sound_speed",
                             "choke_density", "choke_stroke_time", "passage_length",
                             "chamber_bulk_modulus"}) {
        const int k = paramIndex(kind, name);
        if (k >= 0 && kind.params[static_cast<size_t>(k)].required && !(first(params, k) > 0)) {
            problems.push_back({name, "must be positive"});
        }
    }
    for (const char* name : {"displacer_area_outer", "displacer_area_inner", "displacer_depth"}) {
        const int k = paramIndex(kind, name);
        if (k >= 0 && first(params, k) < 0) problems.push_back({name, "must not be negative"});
    }
    const double length = first(params, paramIndex(kind, "annulus_length"));
    const auto& sensors = params[static_cast<size_t>(kind.sensor_positions_param)];
    for (size_t i = 0; i < sensors.size(); ++i) {
        if (!(sensors[i] >= 0 && sensors[i] <= length)) {
            problems.push_back({"sensor_positions", "entry " + std::to_string(i) + " (" +
                                                        number(sensors[i]) +
                                                        ") lies outside [0, annulus_length = " +
                                                        number(length) + "]"});
        }
    }
    const double fixed = first(params, kind.num_fixed_outputs_param);
    if (!(fixed >= 0) || std::trunc(fixed) + static_cast<double>(sensors.size()) <
                             static_cast<double>(kind.min_outputs)) {
        problems.push_back({"num_fixed_outputs",
                            "must be at least 0 and, with the " + std::to_string(sensors.size()) +
                                " sensors, give at least " + std::to_string(kind.min_outputs) +
                                " outputs"});
    }
}

void checkRig(const BlockKind& kind, const std::vector<std::vector<double>>& params,
              std::vector<ParamProblem>& problems) {
    const auto& table = params[rp::choke_characteristic];
    if (table.size() < 2) {
        problems.push_back({"choke_characteristic", "needs at least 2 entries"});
    } else {
        if (table[0] != 0) problems.push_back({"choke_characteristic", "must start at 0"});
        for (size_t i = 1; i < table.size(); ++i) {
            if (table[i] < table[i - 1]) {
                problems.push_back({"choke_characteristic",
                                    "must not decrease (entry " + std::to_string(i) + ")"});
                break;
            }
        }
    }
    if (!(first(params, rp::initial_top_pressure) > first(params, rp::downstream_pressure))) {
        problems.push_back({"initial_top_pressure", "must be above downstream_pressure"});
    }
    if (kind.name == "tavrel_piston") {
        auto p = [&](int k) { return first(params, k); };
        const double passage_area = p(rp::passage_area_outer) - p(rp::passage_area_inner);
        const double chamber_volume =
            (p(rp::passage_area_outer) * p(rp::displacer_depth) -
             p(rp::passage_area_inner) * p(rp::passage_length)) -
            (p(rp::displacer_area_inner) + p(rp::displacer_area_outer)) *
                ((p(rp::displacer_depth) - p(rp::passage_length)) * 0.5);
        if (!(passage_area > 0)) {
            problems.push_back({"passage_area_outer",
                                "must exceed passage_area_inner (passage cross-section "
                                "must be positive)"});
        }
        if (!(chamber_volume > 0)) {
            problems.push_back({"passage_area_outer",
                                "chamber volume formed with passage_area_inner, passage_length, "
                                "displacer_depth and the displacer areas must be positive, is " +
                                    number(chamber_volume)});
        }
    }
}

void checkObserver(const std::vector<std::vector<double>>& params,
                   std::vector<ParamProblem>& problems) {
    for (int k : {int(op::gain_profile_up), int(op::gain_profile_down)}) {
        if (params[static_cast<size_t>(k)].size() < 2) {
            problems.push_back({tavrel::observer::param_names[k], "needs at least 2 entries"});
        }
    }
}

} // namespace

const BlockKind* findBlockKind(const std::string& deliverable) {
    for (const auto& kind : kinds()) {
        if (kind.name == deliverable) return &kind;
    }
    return nullptr;
}

std::string stateName(const BlockKind& kind, int index) {
    if (index < kind.cells) return "w_up[" + std::to_string(index) + "]";
    if (index < 2 * kind.cells) return "w_down[" + std::to_string(index - kind.cells) + "]";
    const auto extra = static_cast<size_t>(index - 2 * kind.cells);
    if (extra < kind.extra_states.size()) return kind.extra_states[extra];
    return "state[" + std::to_string(index) + "]";
}

int paramIndex(const BlockKind& kind, const std::string& name) {
    for (size_t k = 0; k < kind.params.size(); ++k) {
        if (!name.empty() && kind.params[k].name == name) return static_cast<int>(k);
    }
    return -1;
}

std::vector<PortInfo> outputPorts(const BlockKind& kind,
                                  const std::vector<std::vector<double>>& params) {
    const double fixed_value = first(params, kind.num_fixed_outputs_param);
    const int fixed = std::isfinite(fixed_value) && fixed_value > 0
                          ? static_cast<int>(std::min(fixed_value, 1e6))
                          : 0;
    const auto& sensors = params[static_cast<size_t>(kind.sensor_positions_param)];
    std::vector<PortInfo> ports;
    for (int k = 0; k < fixed; ++k) {
        ports.push_back(k < static_cast<int>(kind.fixed_outputs.size())
                            ? kind.fixed_outputs[static_cast<size_t>(k)]
                            : PortInfo{"unused[" + std::to_string(k) + "]", ""});
    }
    for (size_t i = 0; i < sensors.size(); ++i) {
        ports.push_back({"sensor_pressure[" + std::to_string(i) + "]", "Pa"});
    }
    return ports;
}

std::vector<ParamProblem> checkParams(const BlockKind& kind,
                                      const std::vector<std::vector<double>>& params) {
    std::vector<ParamProblem> problems;
    checkCommon(kind, params, problems);
    if (kind.name == "tavrel_observer") {
        checkObserver(params, problems);
    } else {
        checkRig(kind, params, problems);
    }
    return problems;
}

} // namespace tavrel::sim
