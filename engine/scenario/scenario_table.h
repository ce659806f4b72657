// Scenarios from an already parsed TOML document, for callers that edit a scenario's document
// before it is validated (its nodes keep their lines in the original file).
#pragma once

#include "scenario.h"

#include <toml++/toml.h>

#include <optional>
#include <string_view>

namespace tavrel::sim {

Scenario parseScenarioTable(const toml::table& root, const std::string& source_name,
                            const std::string& base_dir);

// A scenario document as a file's text, whose blocks `tavrel run` takes in the order they
// stood in the document's file (that order is the order of evaluation and of the logged
// columns); numbers read back to the same doubles.
std::string scenarioText(toml::table doc);

// The SI unit a number of the [simulation] or [summary] table is read in ("1": a plain number);
// nullopt for a name that is not such a number.
std::optional<std::string_view> sectionUnit(std::string_view section, std::string_view name);

// The SI unit a numeric field of a source kind is read in: the table's for a field with its own
// ("s" for a sine's period; "" for a PI setpoint, in the measured port's unit, which is not
// known here), else the unit of the port the source drives.
std::string_view sourceFieldUnit(std::string_view kind, std::string_view field,
                                 std::string_view port_unit);

} // namespace tavrel::sim
