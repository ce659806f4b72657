// Plug-in `heave_compensator`: the block framework bound to the heave compensator.
#include "compensator_declarations.h"
#include "compensator_model.h"
#include "mex_entry.h"

TAVREL_DEFINE_BLOCK_PLUGIN("heave_compensator", tavrel::compensator, tavrel::compensator)
