// Plug-in `tavrel`: the block framework bound to the rig model.
#include "mex_entry.h"
#include "rig_model.h"
#include "rig_shared_declarations.h"

namespace {
const tavrel::BlockDefinition block{
    "tavrel",
    {&tavrel::rig::mdlInitializeSizes, &tavrel::rig::mdlInitializeConditions,
     &tavrel::rig::mdlOutputs, &tavrel::rig::mdlDerivatives},
    tavrel::rig::param::last_read_by_sizes + 1};
} // namespace

TAVREL_DEFINE_MEX_FUNCTION(block)
