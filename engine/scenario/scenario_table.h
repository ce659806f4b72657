// Scenarios from an already parsed TOML document, for callers that edit a scenario's document
// before it is validated (its nodes keep their lines in the original file).
#pragma once

#include "scenario.h"

#include <toml++/toml.h>

namespace tavrel::sim {

Scenario parseScenarioTable(const toml::table& root, const std::string& source_name,
                            const std::string& base_dir);

// A scenario document as a file's text, whose blocks `tavrel run` takes in the order they
// stood in the document's file (that order is the order of evaluation and of the logged
// columns); numbers read back to the same doubles.
std::string scenarioText(toml::table doc);

} // namespace tavrel::sim
