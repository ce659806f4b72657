// The rig model block `tavrel`: the annulus driven at the bottom by the displacer velocity.
#pragma once

#include "block_methods.h"

TAVREL_DECLARE_MODEL_METHODS(tavrel::rig)
