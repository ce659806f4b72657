// Values a scenario accepts that are still most likely a mistake, such as a period written in
// minutes where seconds are read: each a one-line warning that names the key, so that a run
// which does what was written, not what was meant, does not pass unnoticed.
#pragma once

#include "scenario.h"

#include <string>
#include <vector>

namespace tavrel::sim {

// The scenario's warnings, each "KEY: what looks wrong", in block and input order.
std::vector<std::string> plausibilityWarnings(const Scenario& s);

} // namespace tavrel::sim
