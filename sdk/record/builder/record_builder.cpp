#include "record_builder.h"

#include <algorithm>

namespace tavrel::record {

void setUpRecord(SimStruct* S, const RecordSetup& setup) {
    S->model_name = setup.model_name;
    S->path = setup.path;
    S->root = S;
    S->rt_info = setup.rt_info;
    S->sfcn_params.count = setup.param_count;
    S->sfcn_params.handles = setup.param_handles;
    S->port_info.register_num_input_ports = setup.register_inputs;
    S->port_info.register_num_input_ports_argument = setup.registration_argument;
    S->port_info.register_num_output_ports = setup.register_outputs;
    S->port_info.register_num_output_ports_argument = setup.registration_argument;
    S->sample_time_info.sample_times = setup.sample_times;
    S->sample_time_info.offset_times = setup.offset_times;
}

void recordPortCount(SimStruct* S, ssSizesField field, int_T count) {
    S->flags |= SS_FLAG_PORTS_REGISTERED;
    S->sizes[field] = count;
}

mxArray* rowVector(const std::vector<double>& values) {
    mxArray* array = mxCreateDoubleMatrix(values.empty() ? 0 : 1, values.size(), mxREAL);
    if (array) std::copy(values.begin(), values.end(), mxGetPr(array));
    return array;
}

} // namespace tavrel::record
