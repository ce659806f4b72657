#include "plausibility.h"

#include "overloaded.h"

#include <sstream>

namespace tavrel::sim {

namespace {

// A period drawn in fewer output rows than this is a few dots, not a wave.
constexpr double min_rows_per_period = 10;

void checkPeriod(const Scenario& s, const std::string& key, double period,
                 std::vector<std::string>& warnings) {
    if (!(period < min_rows_per_period * s.output_interval)) return;
    std::ostringstream text;
    text << key << ": a period of " << period << " s is shorter than " << min_rows_per_period
         << " output intervals (" << s.output_interval << " s): periods are in seconds (write \""
         << period << " min\" for minutes)";
    warnings.push_back(text.str());
}

void checkSource(const Scenario& s, const Source& source, const std::string& key,
                 std::vector<std::string>& warnings) {
    std::visit(Overloaded{[&](const source::Sine& sine) {
                              checkPeriod(s, key + ".sine.period", sine.period, warnings);
                          },
                          [&](const source::Sea& sea) {
                              checkPeriod(s, key + ".sea.tp", sea.tp, warnings);
                          },
                          [&](const source::Sum& sum) {
                              for (size_t i = 0; i < sum.terms.size(); ++i) {
                                  checkSource(s, sum.terms[i],
                                              key + ".sum[" + std::to_string(i) + "]", warnings);
                              }
                          },
                          [](const auto&) {}},
               source.kind);
}

} // namespace

std::vector<std::string> plausibilityWarnings(const Scenario& s) {
    std::vector<std::string> warnings;
    for (const auto& block : s.blocks) {
        for (const auto& [port, source] : block.inputs)
            checkSource(s, source, "blocks." + block.name + ".inputs." + port, warnings);
    }
    return warnings;
}

} // namespace tavrel::sim
