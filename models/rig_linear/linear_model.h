// The reduced rig model block `tavrel_linear`: the rig annulus on 100 cells with wave
// variables linear in pressure, both travelling at the fixed sound speed, and the choke flow
// in closed form.
#pragma once

#include "block_methods.h"

TAVREL_DECLARE_MODEL_METHODS(tavrel::linear)
