// The scenario of a served session as `tavrel run` takes it: each written input's source
// replaced by the values it was given, held from tick to tick, so that the run reproduces the
// session's results bit for bit.
#pragma once

#include "scenario.h"

#include <string>
#include <vector>

namespace tavrel::serve {

// The values an input was given, each from its time on (the first at the session's start).
struct AppliedSeries {
    sim::PortRef port;
    std::vector<double> times, values;
    void add(double time, double value) {
        if (!values.empty() && values.back() == value) return;
        times.push_back(time);
        values.push_back(value);
    }
};

// `scenario_text` (the file `scenario` was loaded from) with the series as held tables, the
// simulated duration set to the session's, files named from the root (the replay is written
// elsewhere) and the [serve] table left out; `header` comes first as comments.
std::string replayText(const std::string& scenario_text, const sim::Scenario& scenario,
                       const std::vector<AppliedSeries>& inputs, double duration,
                       const std::string& header);

} // namespace tavrel::serve
