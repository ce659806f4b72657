// Plug-in `tavrel_linear`: the block framework bound to the reduced rig model.
#include "linear_model.h"
#include "mex_entry.h"
#include "rig_shared_declarations.h"

TAVREL_DEFINE_BLOCK_PLUGIN("tavrel_linear", tavrel::linear, tavrel::rig)
