// Plug-in `tavrel_piston`: the block framework bound to the rig model with displacer chambers.
#include "mex_entry.h"
#include "piston_model.h"
#include "rig_shared_declarations.h"

TAVREL_DEFINE_BLOCK_PLUGIN("tavrel_piston", tavrel::piston, tavrel::rig)
