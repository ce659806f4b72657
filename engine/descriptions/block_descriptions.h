// The blocks the host knows by name: the one description of each shipped block, as its model
// folder defines it. Defaults, ports, states and rules are read from there and nowhere else.
#pragma once

#include "block_description.h"

#include <span>
#include <string_view>

namespace tavrel::host {

std::span<const BlockDescription* const> knownBlocks();

// The description of a shipped block, or null for a plug-in the host does not know.
const BlockDescription* findDescription(std::string_view block_name);

} // namespace tavrel::host
