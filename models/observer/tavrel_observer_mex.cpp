// Plug-in `tavrel_observer`: the block framework bound to the observer.
#include "mex_entry.h"
#include "observer_model.h"
#include "observer_declarations.h"

namespace {
const tavrel::BlockDefinition block{
    "tavrel_observer",
    {&tavrel::observer::mdlInitializeSizes, &tavrel::observer::mdlInitializeConditions,
     &tavrel::observer::mdlOutputs, &tavrel::observer::mdlDerivatives},
    tavrel::observer::param::last_read_by_sizes + 1};
} // namespace

TAVREL_DEFINE_MEX_FUNCTION(block)
