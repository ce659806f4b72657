// Plug-in `tavrel`: the block framework bound to the rig model.
#include "mex_entry.h"
#include "rig_model.h"
#include "rig_shared_declarations.h"

TAVREL_DEFINE_BLOCK_PLUGIN("tavrel", tavrel::rig, tavrel::rig)
