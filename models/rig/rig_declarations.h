// `tavrel`: the rig parameters, ports and rules, and its states after the two wave families.
#pragma once

#include "rig_shared_declarations.h"

// X(id, unit, meaning[, role]).
#define TAVREL_ANNULUS_STATES(X)                                                                   \
    X(choke_opening, "1", "choke actuator position", ::tavrel::StateRole::choke_opening)           \
    X(bottom_velocity_lag, "m/s", "lagged velocity at the bottom")

namespace tavrel::rig {

namespace state {
TAVREL_INDEX_ENUM_FROM(2 * cells, TAVREL_ANNULUS_STATES);
static_assert(choke_opening == choke_actuator);
} // namespace state

inline constexpr auto states = TAVREL_STATE_DESCRIPTIONS(2 * state::cells, TAVREL_ANNULUS_STATES);

inline constexpr BlockDescription description = {
    .name = "tavrel",
    .meaning = "annulus of 150 cells with choke, displacer and back-pressure pump",
    .params = annulus_params,
    .inputs = inputs,
    .fixed_outputs = annulus_outputs,
    .sensor_output = sensor_output,
    .num_fixed_outputs_param = param::num_fixed_outputs,
    .sensor_positions_param = param::sensor_positions,
    .min_outputs = output::fixed_count,
    .cells = state::cells,
    .extra_states = states,
    .rules = common_rules,
};

static_assert(isConsistent(description));

} // namespace tavrel::rig
