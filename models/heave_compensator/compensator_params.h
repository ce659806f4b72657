// The heave compensator's dialog parameters as one method call reads them from the host.
#pragma once

#include "block_io.h"
#include "compensator_vocabulary.h"

namespace tavrel::compensator {

// Read afresh from the host at the start of every method call; nothing survives the call.
struct CompensatorParams {
    double displacer_frequency, filter_bandwidth, advance_time, feedforward_gain;
    double pressure_setpoint, proportional_gain, integral_gain, anti_windup_time;

    static CompensatorParams read(const SimStruct* S) {
        return {paramScalar(S, param::displacer_frequency), paramScalar(S, param::filter_bandwidth),
                paramScalar(S, param::advance_time),        paramScalar(S, param::feedforward_gain),
                paramScalar(S, param::pressure_setpoint),   paramScalar(S, param::proportional_gain),
                paramScalar(S, param::integral_gain),       paramScalar(S, param::anti_windup_time)};
    }
};

} // namespace tavrel::compensator
