// The keys a study varies, read once from their texts, and how a value of one is written into
// a scenario's document.
#pragma once

#include "scenario.h"

#include <toml++/toml.h>

#include <string>

namespace tavrel::study {

// A varied key, read once from its text:
//   simulation.X, summary.X         the scenario's tables
//   well.X                          the shared table and every block that sets X itself
//   BLOCK.INPUT.FIELD               a numeric field of that input's source (sine period, PI kp)
//   BLOCK.INPUT                     a constant input
//   BLOCK.PARAM                     a dialog parameter of one block
struct StudyKey {
    enum class Target { section, well, block_value, source_field };
    Target target = Target::section;
    std::string head;  // the section or the block
    std::string name;  // its value, parameter or input
    std::string field; // a source's field
};

// Throws std::invalid_argument naming the shape a key must have.
StudyKey parseKey(const std::string& text);

// Writes one varied key's value into a scenario document; throws std::invalid_argument when the
// scenario has no such place (no such block, an input without fields).
void applyKey(toml::table& doc, const StudyKey& key, double value);

// The SI unit of what a key sets in this scenario (its document and the scenario parsed from
// it): "s" for a sine's period, "Pa" for a pressure parameter, "1" for a plain number; "" when
// the scenario does not say (a place it has not, a positional parameter of a plug-in).
std::string keyUnit(const toml::table& doc, const sim::Scenario& scenario, const StudyKey& key);

// A sub-table of `t`, created when missing.
toml::table& subTable(toml::table& t, const std::string& name, const std::string& key);

} // namespace tavrel::study
