// Plug-in `tavrel_piston`: the block framework bound to the rig model with displacer chambers.
#include "mex_entry.h"
#include "piston_model.h"
#include "rig_shared_declarations.h"

namespace {
const tavrel::BlockDefinition block{
    "tavrel_piston",
    {&tavrel::piston::mdlInitializeSizes, &tavrel::piston::mdlInitializeConditions,
     &tavrel::piston::mdlOutputs, &tavrel::piston::mdlDerivatives},
    tavrel::rig::param::last_read_by_sizes + 1};
} // namespace

TAVREL_DEFINE_MEX_FUNCTION(block)
