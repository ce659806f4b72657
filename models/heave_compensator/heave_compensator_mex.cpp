// Plug-in `heave_compensator`: the block framework bound to the heave compensator.
#include "compensator_model.h"
#include "compensator_declarations.h"
#include "mex_entry.h"

namespace {
const tavrel::BlockDefinition block{
    "heave_compensator",
    {&tavrel::compensator::mdlInitializeSizes, &tavrel::compensator::mdlInitializeConditions,
     &tavrel::compensator::mdlOutputs, &tavrel::compensator::mdlDerivatives},
    tavrel::compensator::param::last_read_by_sizes + 1};
} // namespace

TAVREL_DEFINE_MEX_FUNCTION(block)
