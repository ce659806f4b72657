// The rig model block `tavrel_piston`: the annulus of `tavrel` whose bottom is fed by a
// compressible chamber; the displacer works on a second chamber joined to it by a passage.
#pragma once

#include "block_methods.h"

TAVREL_DECLARE_MODEL_METHODS(tavrel::piston)
