// `tavrel_linear`: the rig parameters, ports and rules on a 100-cell grid whose only state
// after the waves is the choke actuator.
#pragma once

#include "rig_shared_declarations.h"

// X(id, unit, meaning[, role]).
#define TAVREL_LINEAR_STATES(X)                                                                    \
    X(choke_opening, "1", "choke actuator position", ::tavrel::StateRole::choke_opening)

namespace tavrel::linear {

namespace state {
constexpr int cells = 100;
constexpr int w_up = 0;                         // w_up[k] belongs to grid point k+1
constexpr int w_up_top = w_up + cells - 1;      // `w_up` at the choke, grid point 100
constexpr int w_down = cells;                   // w_down[k] belongs to grid point k
constexpr int w_down_bottom = w_down;           // `w_down` at the bottom, grid point 0
constexpr int w_down_last = w_down + cells - 1; // `w_down` at grid point 99
TAVREL_INDEX_ENUM_FROM(2 * cells, TAVREL_LINEAR_STATES);
} // namespace state

inline constexpr auto states = TAVREL_STATE_DESCRIPTIONS(2 * state::cells, TAVREL_LINEAR_STATES);

inline constexpr BlockDescription description = {
    .name = "tavrel_linear",
    .meaning = "reduced rig annulus of 100 cells with linear wave variables",
    .params = rig::annulus_params,
    .inputs = rig::inputs,
    .fixed_outputs = rig::annulus_outputs,
    .sensor_output = rig::sensor_output,
    .num_fixed_outputs_param = rig::param::num_fixed_outputs,
    .sensor_positions_param = rig::param::sensor_positions,
    .min_outputs = rig::output::fixed_count,
    .cells = state::cells,
    .extra_states = states,
    .rules = rig::common_rules,
};

static_assert(isConsistent(description));

} // namespace tavrel::linear
