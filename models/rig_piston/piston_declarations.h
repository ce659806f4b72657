// `tavrel_piston`: the rig parameters and ports, with the chamber and passage parameters read
// and the displacer losses ignored; its states are the 150-cell annulus and choke actuator of
// the rig models, followed by the two displacer chambers and the passage that joins them.
#pragma once

#include "rig_shared_declarations.h"

#include <cmath>
#include <sstream>

// X(id, unit, meaning[, role]).
#define TAVREL_PISTON_STATES(X)                                                                    \
    X(choke_opening, "1", "choke actuator position", ::tavrel::StateRole::choke_opening)           \
    X(bottom_chamber_pressure, "Pa",                                                               \
      "pressure of the chamber that feeds the annulus at the bottom")                              \
    X(displacer_chamber_pressure, "Pa", "pressure of the chamber the displacer works on")          \
    X(passage_flow, "m3/s", "volume rate through the passage, positive into the bottom chamber")

namespace tavrel::piston {

namespace param = rig::param;

namespace state {
constexpr int cells = rig::state::cells;
constexpr int w_up = rig::state::w_up;
constexpr int w_down = rig::state::w_down;
TAVREL_INDEX_ENUM_FROM(2 * cells, TAVREL_PISTON_STATES);
static_assert(choke_opening == rig::state::choke_actuator);
} // namespace state

inline double first(const ParamSet& params, int k) {
    const auto& values = params[static_cast<std::size_t>(k)];
    return values.empty() ? NAN : values[0];
}

inline std::string passageAreaRule(const ParamSet& params) {
    const double area =
        first(params, param::passage_area_outer) - first(params, param::passage_area_inner);
    return area > 0 ? std::string()
                    : "must exceed passage_area_inner (passage cross-section must be positive)";
}

// The volume of each chamber, as the model computes it, must be positive.
inline std::string chamberVolumeRule(const ParamSet& params) {
    auto p = [&](int k) { return first(params, k); };
    const double volume = (p(param::passage_area_outer) * p(param::displacer_depth) -
                           p(param::passage_area_inner) * p(param::passage_length)) -
                          (p(param::displacer_area_inner) + p(param::displacer_area_outer)) *
                              ((p(param::displacer_depth) - p(param::passage_length)) * 0.5);
    if (volume > 0) return {};
    std::ostringstream text;
    text.precision(10);
    text << "chamber volume formed with passage_area_inner, passage_length, displacer_depth and "
            "the displacer areas must be positive, is "
         << volume;
    return text.str();
}

inline constexpr auto params = rig::rigParams(rig::RigVariant::piston);
inline constexpr auto outputs = rig::rigOutputs(rig::RigVariant::piston);

inline constexpr ParamRule chamber_rules[] = {
    {ParamRule::Kind::custom, param::passage_area_outer, -1, 0, &passageAreaRule},
    {ParamRule::Kind::custom, param::passage_area_outer, -1, 0, &chamberVolumeRule},
};
inline constexpr auto rules = joinRules(rig::common_rules, chamber_rules);

inline constexpr auto states = TAVREL_STATE_DESCRIPTIONS(2 * state::cells, TAVREL_PISTON_STATES);

inline constexpr BlockDescription description = {
    .name = "tavrel_piston",
    .meaning = "the rig annulus fed at the bottom by two displacer chambers joined by a passage",
    .params = params,
    .inputs = rig::inputs,
    .fixed_outputs = outputs,
    .sensor_output = rig::sensor_output,
    .num_fixed_outputs_param = param::num_fixed_outputs,
    .sensor_positions_param = param::sensor_positions,
    .min_outputs = rig::output::fixed_count,
    .cells = state::cells,
    .extra_states = states,
    .rules = rules,
};

static_assert(isConsistent(description));

} // namespace tavrel::piston
