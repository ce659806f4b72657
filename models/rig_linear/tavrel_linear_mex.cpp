// Plug-in `tavrel_linear`: the block framework bound to the reduced rig model.
#include "linear_model.h"
#include "mex_entry.h"
#include "rig_shared_declarations.h"

namespace {
const tavrel::BlockDefinition block{
    "tavrel_linear",
    {&tavrel::linear::mdlInitializeSizes, &tavrel::linear::mdlInitializeConditions,
     &tavrel::linear::mdlOutputs, &tavrel::linear::mdlDerivatives},
    tavrel::rig::param::last_read_by_sizes + 1};
} // namespace

TAVREL_DEFINE_MEX_FUNCTION(block)
