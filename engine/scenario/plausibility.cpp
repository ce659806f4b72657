#include "plausibility.h"

#include "block_catalog.h"
#include "overloaded.h"
#include "scenario_parse.h"

#include <algorithm>
#include <cmath>
#include <numbers>
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

// A block tuned to the heave (the observer's oscillator, the compensator's resonator) reads its
// angular frequency under this name.
constexpr std::string_view tuned_frequency = "displacer_frequency";
// Farther than this from the tuned period, the tuned block follows a wave the well does not
// have: its estimate lags and shrinks while the run looks as good as any other.
constexpr double max_period_mismatch = 0.25;

// A sine of a rig's heave input, with its key and the line of that input.
struct SineHeave {
    const BlockConfig* rig;
    std::string key, origin;
    double period;
};

void sineHeaves(const Source& source, const SineHeave& where, std::vector<SineHeave>& heaves) {
    std::visit(Overloaded{[&](const source::Sine& sine) {
                              heaves.push_back(where);
                              heaves.back().key += ".sine.period";
                              heaves.back().period = std::abs(sine.period);
                          },
                          [&](const source::Sum& sum) {
                              for (size_t i = 0; i < sum.terms.size(); ++i) {
                                  SineHeave term = where;
                                  term.key += ".sum[" + std::to_string(i) + "]";
                                  sineHeaves(sum.terms[i], term, heaves);
                              }
                          },
                          [](const auto&) {}},
               source.kind);
}

std::vector<SineHeave> sineHeaves(const Scenario& s) {
    std::vector<SineHeave> heaves;
    for (const auto& block : s.blocks) {
        for (const auto& port : block.description().inputs) {
            const auto input = block.inputs.find(std::string(port.name));
            if (port.role != PortRole::displacer_velocity || input == block.inputs.end()) continue;
            const auto line = block.input_lines.find(input->first);
            const std::string origin =
                s.source_name +
                (line == block.input_lines.end() ? "" : ":" + std::to_string(line->second));
            sineHeaves(input->second,
                       {&block, "blocks." + block.name + ".inputs." + input->first, origin, 0},
                       heaves);
        }
    }
    return heaves;
}

bool follows(const BlockConfig& block, const std::string& other) {
    std::vector<PortRef> ports;
    for (const auto& [port, source] : block.inputs)
        followedPorts(source, ports);
    return std::any_of(ports.begin(), ports.end(),
                       [&](const PortRef& p) { return p.block == other; });
}

// The tuned blocks that read this heave's rig, or every tuned block when none reads a rig with
// a sine heave, grouped by the value they share and where it was given.
struct Tuning {
    double frequency;
    std::string origin, blocks;
};

std::vector<Tuning> tunings(const Scenario& s, const std::vector<SineHeave>& heaves,
                            const BlockConfig& rig) {
    std::vector<Tuning> found;
    for (const auto& block : s.blocks) {
        const int k = paramIndex(block.description(), tuned_frequency);
        if (k < 0) continue;
        const bool reads_a_heave = std::any_of(heaves.begin(), heaves.end(), [&](const auto& h) {
            return follows(block, h.rig->name);
        });
        if (reads_a_heave && !follows(block, rig.name)) continue;
        const auto& value = block.params[static_cast<size_t>(k)];
        const std::string& origin = block.origins[static_cast<size_t>(k)];
        if (value.size() != 1 || !(value[0] > 0)) continue;
        const auto same = std::find_if(found.begin(), found.end(), [&](const Tuning& t) {
            return t.frequency == value[0] && t.origin == origin;
        });
        if (same == found.end()) {
            found.push_back({value[0], origin, block.name});
        } else {
            same->blocks += ", " + block.name;
        }
    }
    return found;
}

void checkTuning(const Scenario& s, std::vector<std::string>& warnings) {
    const auto heaves = sineHeaves(s);
    for (const auto& heave : heaves) {
        for (const auto& tuning : tunings(s, heaves, *heave.rig)) {
            const double tuned_period = 2 * std::numbers::pi / tuning.frequency;
            const double off = heave.period / tuned_period - 1;
            if (!(std::abs(off) > max_period_mismatch)) continue;
            std::ostringstream text;
            text.precision(4);
            text << heave.key << ": a heave period of " << heave.period << " s (" << heave.origin
                 << ") is " << std::round(std::abs(off) * 100) << " % off the " << tuned_period
                 << " s that " << tuned_frequency << " = " << tuning.frequency << " rad/s ("
                 << tuning.origin << ") tunes " << tuning.blocks << " to: set " << tuned_frequency
                 << " to 2*pi/" << heave.period << " = " << 2 * std::numbers::pi / heave.period
                 << " rad/s";
            warnings.push_back(text.str());
        }
    }
}

} // namespace

std::vector<std::string> plausibilityWarnings(const Scenario& s) {
    std::vector<std::string> warnings;
    for (const auto& block : s.blocks) {
        for (const auto& [port, source] : block.inputs)
            checkSource(s, source, "blocks." + block.name + ".inputs." + port, warnings);
    }
    checkTuning(s, warnings);
    return warnings;
}

std::vector<std::string> runWarnings(const Scenario& s) {
    auto warnings = s.wellWarnings();
    const auto plausibility = plausibilityWarnings(s);
    warnings.insert(warnings.end(), plausibility.begin(), plausibility.end());
    return warnings;
}

} // namespace tavrel::sim
