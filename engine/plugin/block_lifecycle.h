// The life of a block as every host drives it, in the platform's order:
//   1. sizes, through the handshake           BlockInstance's constructor (or openBlock)
//   2. sample times                           prepareBlock (or openBlock)
//   3. initial conditions,
//   4. the start inputs into its input ports,
//   5. the first outputs call at the start    startBlock (3 to 5)
//   ... outputs and derivatives as the host steps it ...
//   6. terminate                              endBlock
// The first outputs call may write a state (a block that derives a starting value from its
// parameters and inputs does it there), so the state a solver starts from is the one after
// startBlock. Nothing here knows any particular block.
#pragma once

#include "block_instance.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tavrel::host {

// Steps 1 and 2: a block sized and with its sample times, ready to start.
std::unique_ptr<BlockInstance> openBlock(std::shared_ptr<Plugin> plugin, const ParamValues& params,
                                         std::string instance_name = {});

// Step 2, for a host that sizes a block earlier than it prepares it (an FMU's instantiation).
void prepareBlock(BlockInstance& block);

// Writes the start inputs into the block's input ports (BlockInstance::inputs()).
using StartInputs = std::function<void(BlockInstance& block)>;

// The start inputs given as values, one per input port (copied as they are now).
StartInputs inputValues(std::span<const double> values);

// Steps 3 to 5 at `time`. `load_inputs` runs between the initial conditions and the first
// outputs call (none: the ports already hold the start inputs). Returns the states as the
// initial conditions left them, before the first outputs call.
std::vector<double> startBlock(BlockInstance& block, double time,
                               const StartInputs& load_inputs = {});

// Step 6.
void endBlock(BlockInstance& block);

} // namespace tavrel::host
