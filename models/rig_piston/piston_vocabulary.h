// States of `tavrel_piston`: the 150-cell annulus and choke actuator of the rig models,
// followed by the two displacer chambers and the passage that joins them. The dialog
// parameters and ports are those of the rig vocabulary; parameters 22 to 27 describe the
// chambers and the passage.
#pragma once

#include "rig_vocabulary.h"

namespace tavrel::piston {

namespace state {
constexpr int cells = rig::state::cells;
constexpr int w_up = rig::state::w_up;
constexpr int w_down = rig::state::w_down;
constexpr int choke_opening = rig::state::choke_opening;
// Pressure of the chamber that feeds the annulus at grid point 0.
constexpr int bottom_chamber_pressure = choke_opening + 1;
// Pressure of the chamber the displacer works on.
constexpr int displacer_chamber_pressure = choke_opening + 2;
// Volume rate through the passage, positive from the displacer chamber into the bottom chamber.
constexpr int passage_flow = choke_opening + 3;
constexpr int count = choke_opening + 4;
} // namespace state

} // namespace tavrel::piston
