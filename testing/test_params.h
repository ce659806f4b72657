// Parameter lists for tests, made from a block's description: its defaults, with the values a
// test cares about replaced by name (the block's parameter index enum). A parameter added to a
// block keeps its default here, so no test reads an unset value.
#pragma once

#include "block_description.h"
#include "block_record.h"

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tavrel::test {

using ParamValue = std::pair<int, std::vector<double>>;

inline ParamList paramsWith(const BlockDescription& block,
                            std::initializer_list<ParamValue> values) {
    ParamList params = defaultParams(block);
    for (const auto& [k, value] : values) {
        if (k < 0 || k >= static_cast<int>(params.size()))
            throw std::out_of_range(std::string(block.name) + " has no parameter " +
                                    std::to_string(k));
        params[static_cast<std::size_t>(k)] = value;
    }
    return params;
}

} // namespace tavrel::test
