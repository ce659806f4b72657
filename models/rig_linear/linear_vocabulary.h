// State layout of the reduced rig model `tavrel_linear`. Its parameters, ports and work element
// are those of the other rig models (rig_vocabulary.h); only the grid is shorter and there is
// no state after the choke actuator.
#pragma once

#include "rig_vocabulary.h"

namespace tavrel::linear {

namespace state {
constexpr int cells = 100;
constexpr int w_up = 0;                        // w_up[k] belongs to grid point k+1
constexpr int w_up_top = w_up + cells - 1;     // `w_up` at the choke, grid point 100
constexpr int w_down = cells;                  // w_down[k] belongs to grid point k
constexpr int w_down_bottom = w_down;          // `w_down` at the bottom, grid point 0
constexpr int w_down_last = w_down + cells - 1; // `w_down` at grid point 99
constexpr int choke_opening = 2 * cells;
constexpr int count = 2 * cells + 1;
} // namespace state

} // namespace tavrel::linear
