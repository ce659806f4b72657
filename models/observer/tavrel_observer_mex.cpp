// Plug-in `tavrel_observer`: the block framework bound to the observer.
#include "mex_entry.h"
#include "observer_declarations.h"
#include "observer_model.h"

TAVREL_DEFINE_BLOCK_PLUGIN("tavrel_observer", tavrel::observer, tavrel::observer)
