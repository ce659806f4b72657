// The record of a command-line sizes call, made with the host allocator, which reclaims it
// when the call returns (an error raised in the call does not return to free it).
#include "entry_parts.h"
#include "record_builder.h"

#include <cstddef>

namespace tavrel::entry {

namespace {

// Port-count registration of a command-line record: refuses a negative count, raises an error
// for a count above the limit, else records it and gives the record that many zeroed ports.
template <class Port>
int_T registerPorts(SimStruct* S, int_T count, ssSizesField field, Port*& ports, const char* kind) {
    if (count < 0) return 0;
    if (count > record::max_ports) {
        raiseError("MEX level2 S-function \"%s\" declares %d %s ports; at most %d are supported",
                   ssGetModelName(S), count, kind, record::max_ports);
        return 0;
    }
    record::recordPortCount(S, field, count);
    if (count > 0)
        ports = static_cast<Port*>(mxCalloc(static_cast<std::size_t>(count), sizeof(Port)));
    return 1;
}

int_T registerInputPorts(void* argument, int_T count) {
    auto* S = static_cast<SimStruct*>(argument);
    return registerPorts(S, count, SS_SIZES_NUM_INPUT_PORTS, S->port_info.inputs, "input");
}

int_T registerOutputPorts(void* argument, int_T count) {
    auto* S = static_cast<SimStruct*>(argument);
    return registerPorts(S, count, SS_SIZES_NUM_OUTPUT_PORTS, S->port_info.outputs, "output");
}

// The block reads its dialog parameters as real doubles while it sizes itself: a command-line
// call must pass at least as many as it reads, and only real double arrays.
bool checkDialogParameters(const BlockDefinition& block, const Banner& banner, int count,
                           const mxArray* const params[]) {
    if (count < block.params_read_by_sizes) {
        raiseError("%s needs at least %d dialog parameters, but %d were given", banner.text,
                   block.params_read_by_sizes, count);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (params[i] && mxIsDouble(params[i]) && !mxIsComplex(params[i])) continue;
        raiseError("Dialog parameter %d (right hand argument %d) passed to %s must be a real "
                   "double array",
                   i + 1, i + 5, banner.text);
        return false;
    }
    return true;
}

} // namespace

// Its method entries stay empty; it has no sample-time slots.
SimStruct* commandLineRecord(const BlockDefinition& block, const Banner& banner, int nrhs,
                             const mxArray* prhs[]) {
    const int count = nrhs > 4 ? nrhs - 4 : 0;
    if (!checkDialogParameters(block, banner, count, prhs + 4)) return nullptr;
    auto* S = static_cast<SimStruct*>(mxCalloc(1, sizeof(SimStruct)));
    auto* info = static_cast<ssRTInfo*>(mxCalloc(1, sizeof(ssRTInfo)));
    info->first_field = 1;
    mxArray** handles = nullptr;
    if (count > 0) {
        handles =
            static_cast<mxArray**>(mxCalloc(static_cast<std::size_t>(count), sizeof(mxArray*)));
        for (int i = 0; i < count; ++i)
            handles[i] = const_cast<mxArray*>(prhs[4 + i]);
    }
    record::RecordSetup setup;
    setup.model_name = block.name;
    setup.path = block.name;
    setup.rt_info = info;
    setup.param_count = count;
    setup.param_handles = handles;
    setup.register_inputs = &registerInputPorts;
    setup.register_outputs = &registerOutputPorts;
    setup.registration_argument = S;
    record::setUpRecord(S, setup);
    return S;
}

} // namespace tavrel::entry
