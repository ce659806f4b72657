// A block record as a host keeps one, for driving a block without the host: dialog parameters,
// the ports the block registers, and states, derivatives and integer work sized from what the
// block declared (the record builder's own record).
#pragma once

#include "record_builder.h"

#include <vector>

namespace tavrel::test {

using ParamList = std::vector<std::vector<double>>;

class BlockRecord : public record::HostRecord {
  public:
    // Deliberately far below a host's record::max_ports: fuzzers size thousands of records, and
    // a mutated parameter asking for more ports is refused (testing the block's handling of a
    // refusal) before it costs megabytes per input.
    static constexpr int port_limit = 1 << 12;

    // Parameters as row vectors; output ports start at `output_fill` until the block writes
    // them; sample and offset times at -1 until the block sets them.
    BlockRecord(const ParamList& params, const char* model_name, double output_fill)
        : HostRecord(params, model_name, model_name, {port_limit, output_fill, -1}) {}

    // A port count was refused: a host would not use the block.
    bool refused() const { return !refusal().empty() || outOfMemory(); }
    void setParam(int k, const std::vector<double>& values) {
        HostRecord::setParam(static_cast<std::size_t>(k), values);
    }
};

} // namespace tavrel::test
