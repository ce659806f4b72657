// A parameter's values as a user writes them outside a scenario file (`tavrel run --set`,
// Python's Scenario.set): bare numbers are SI, a text with its unit ("20 bar") is converted to
// the unit the parameter is held in, by the block that declares it ("well": any block).
#pragma once

#include "block_catalog.h"
#include "scenario.h"
#include "units.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavrel::sim {

// The unit `param` is held in; empty when no block declares it (the override is then refused by
// name when it is set).
inline std::string_view paramUnit(const Scenario& scenario, const std::string& block,
                                  const std::string& param) {
    for (const auto& b : scenario.blocks) {
        if (block != "well" && b.name != block) continue;
        const int k = paramIndex(b.description(), param);
        if (k >= 0) return b.description().params[static_cast<size_t>(k)].unit;
    }
    return {};
}

// One written value of block.param; throws ScenarioError naming `where` and the rule.
inline double writtenValue(const Scenario& scenario, const std::string& block,
                           const std::string& param, const std::string& text,
                           const std::string& where) {
    std::string error;
    auto value = parseQuantity(text, "1", error);
    if (!value) value = parseQuantity(text, paramUnit(scenario, block, param), error);
    if (!value) throw ScenarioError(where + ": " + error);
    return *value;
}

} // namespace tavrel::sim
