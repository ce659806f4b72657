// The part of mdlInitializeSizes that every shipped block writes alike, from its description.
#pragma once

#include "block_description.h"
#include "simstruc.h"

#include <cstddef>
#include <span>

namespace tavrel {

// What every block declares alike in mdlInitializeSizes: `params` dialog parameters, `states`
// continuous states and no discrete ones, and one input port of width 1 per described input
// with the described feed-through. False when the host refuses the input ports.
inline bool declareParamsStatesInputs(SimStruct* S, int params, int states,
                                      std::span<const PortDescription> inputs) {
    ssSetNumSFcnParams(S, params);
    ssSetNumContStates(S, states);
    ssSetNumDiscStates(S, 0);

    const int count = static_cast<int>(inputs.size());
    if (!ssSetNumInputPorts(S, count)) return false;
    for (int port = 0; port < count; ++port) {
        ssSetInputPortWidth(S, port, 1);
        ssSetInputPortDirectFeedThrough(S, port,
                                        inputs[static_cast<std::size_t>(port)].direct_feed_through);
    }
    return true;
}

} // namespace tavrel
