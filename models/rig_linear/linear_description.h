// `tavrel_linear`: the rig parameters, ports and rules on a 100-cell grid whose only state
// after the waves is the choke actuator.
#pragma once

#include "linear_vocabulary.h"
#include "rig_description.h"

namespace tavrel::linear {

inline constexpr StateDescription states[] = {
    {state::choke_opening, "choke_opening", "1", "choke actuator position",
     StateRole::choke_opening},
};

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
static_assert(description.stateCount() == state::count);

} // namespace tavrel::linear
