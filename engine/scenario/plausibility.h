// Values a scenario accepts that are still most likely a mistake, such as a period written in
// minutes where seconds are read: each a one-line warning that names the key, so that a run
// which does what was written, not what was meant, does not pass unnoticed.
#pragma once

#include "scenario.h"

#include <string>
#include <vector>

namespace tavrel::sim {

// The scenario's warnings, each "KEY: what looks wrong", in block and input order, then a
// sine heave far from the period a block is tuned to.
std::vector<std::string> plausibilityWarnings(const Scenario& s);

// Everything a run says it may not mean: the well's warnings, then the plausibility ones.
std::vector<std::string> runWarnings(const Scenario& s);

} // namespace tavrel::sim
