// What the host tools know of the four deliverables by name: a full default parameter set
// (the default well of the shipped scenario) and where a rig model keeps its choke opening.
#pragma once

#include "block_instance.h"

#include <optional>
#include <string>

namespace tavrel::host {

// The default dialog parameters of a deliverable, or nothing for a block the host does not know.
std::optional<ParamValues> defaultParams(const std::string& block_name);

// The continuous state that holds the choke opening, for the rig models; nothing otherwise.
std::optional<int> chokeOpeningState(const std::string& block_name);

} // namespace tavrel::host
