// Scenarios from an already parsed TOML document, for callers that edit a scenario's document
// before it is validated (its nodes keep their lines in the original file).
#pragma once

#include "scenario.h"

#include <toml++/toml.h>

namespace tavrel::sim {

Scenario parseScenarioTable(const toml::table& root, const std::string& source_name,
                            const std::string& base_dir);

} // namespace tavrel::sim
