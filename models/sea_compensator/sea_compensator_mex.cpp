// Plug-in `sea_compensator`: the block framework bound to the broadband heave compensator.
#include "mex_entry.h"
#include "sea_compensator_declarations.h"
#include "sea_compensator_model.h"

TAVREL_DEFINE_BLOCK_PLUGIN("sea_compensator", tavrel::sea_compensator, tavrel::sea_compensator)
