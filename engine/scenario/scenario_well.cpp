// One well for every block: sensors placed on each block's own annulus, a top pressure read at
// the top, and the values a block keeps against the [well] table said aloud.
#include "scenario_parse.h"

#include "block_catalog.h"
#include "overloaded.h"
#include "well_declarations.h"

#include <cmath>
#include <sstream>

namespace tavrel::sim {

namespace {

std::string numbers(const std::vector<double>& values) {
    std::ostringstream text;
    text.precision(10);
    for (size_t i = 0; i < values.size(); ++i)
        text << (i ? ", " : "") << values[i];
    return values.size() == 1 ? text.str() : "[" + text.str() + "]";
}

const std::vector<double>* param(const BlockConfig& block, std::string_view name, size_t* k = {}) {
    const int index = paramIndex(block.description(), name);
    if (index < 0) return nullptr;
    if (k) *k = static_cast<size_t>(index);
    return &block.params[static_cast<size_t>(index)];
}

std::string origin(const BlockConfig& block, std::string_view name) {
    size_t k = 0;
    return param(block, name, &k) && k < block.origins.size() ? block.origins[k] : "";
}

const BlockConfig* findBlock(const Scenario& s, const std::string& name) {
    for (const auto& b : s.blocks)
        if (b.name == name) return &b;
    return nullptr;
}

// The sensor a port reference names ("sensor_pressure[3]" of a block with sensors), or -1.
long sensorIndex(const BlockConfig& block, const std::string& port) {
    const BlockDescription& kind = block.description();
    if (!kind.hasSensors()) return -1;
    const std::string prefix = std::string(kind.sensor_output.name) + "[";
    if (port.compare(0, prefix.size(), prefix) != 0 || port.back() != ']') return -1;
    const std::string digits = port.substr(prefix.size(), port.size() - prefix.size() - 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
        digits.size() > 9) {
        return -1;
    }
    const auto i = std::stol(digits);
    const auto& sensors = block.params[static_cast<size_t>(kind.sensor_positions_param)];
    return i < static_cast<long>(sensors.size()) ? i : -1;
}

// A top-pressure input fed from a sensor must read that sensor at the top of its annulus.
void checkTopPressure(const Scenario& s, const BlockConfig& block, const std::string& input,
                      const Source& source) {
    std::vector<PortRef> ports;
    followedPorts(source, ports);
    for (const auto& ref : ports) {
        const BlockConfig* from = findBlock(s, ref.block);
        const long i = from ? sensorIndex(*from, ref.port) : -1;
        const auto* length = from ? param(*from, well::annulus_length.name) : nullptr;
        if (i < 0 || !length || length->empty()) continue;
        const auto sensors = static_cast<size_t>(from->description().sensor_positions_param);
        const double position = from->params[sensors][static_cast<size_t>(i)];
        if (position == (*length)[0]) continue;
        std::ostringstream rule;
        rule.precision(10);
        rule << "expects the pressure at the top, but " << ref.block << "." << ref.port << " is "
             << position << " m from the bottom (sensor_positions from " << from->origins[sensors]
             << ") of " << ref.block << "'s " << (*length)[0] << " m annulus (annulus_length from "
             << origin(*from, well::annulus_length.name) << "); write that sensor as \"top\"";
        const auto line = block.input_lines.find(input);
        failAtLine(s.source_name, line == block.input_lines.end() ? 0 : line->second,
                   "blocks." + block.name + ".inputs." + input, rule.str());
    }
}

} // namespace

void followedPorts(const Source& source, std::vector<PortRef>& ports) {
    std::visit(Overloaded{[&](const source::Connection& c) { ports.push_back(c.port); },
                          [&](const source::Hold& h) { ports.push_back(h.port); },
                          [&](const source::Sum& sum) {
                              for (const auto& term : sum.terms)
                                  followedPorts(term, ports);
                          },
                          [](const auto&) {}},
               source.kind);
}

void placeSensors(BlockConfig& block) {
    const BlockDescription& kind = block.description();
    if (!kind.hasSensors() || block.sensor_places.empty()) return;
    // Without a length the top is nowhere: such a sensor is refused as not finite.
    const auto* length = param(block, well::annulus_length.name);
    const double top = length && length->size() == 1 ? (*length)[0] : NAN;
    auto& sensors = block.params[static_cast<size_t>(kind.sensor_positions_param)];
    sensors.clear();
    for (const auto& place : block.sensor_places)
        sensors.push_back(place.from_top ? top - place.distance : place.distance);
}

void Scenario::checkOneWell() const {
    for (const auto& block : blocks) {
        const BlockDescription& kind = block.description();
        for (const auto& port : kind.inputs) {
            const auto input = block.inputs.find(std::string(port.name));
            if (port.role != PortRole::top_pressure || input == block.inputs.end()) continue;
            checkTopPressure(*this, block, input->first, input->second);
        }
    }
}

std::vector<std::string> Scenario::wellWarnings() const {
    std::vector<std::string> lines;
    for (const auto& [name, shared] : well) {
        std::vector<std::string> keeping;
        std::vector<const BlockConfig*> differing;
        for (const auto& block : blocks) {
            const auto* value = param(block, name);
            if (!value) continue;
            if (*value == shared.values) {
                keeping.push_back(block.name);
            } else {
                differing.push_back(&block);
            }
        }
        std::string kept;
        for (const auto& b : keeping)
            kept += (kept.empty() ? "" : ", ") + b;
        for (const BlockConfig* block : differing) {
            lines.push_back("blocks." + block->name + ".params." + name + " = " +
                            numbers(*param(*block, name)) + " (" + origin(*block, name) +
                            ") differs from well." + name + " = " + numbers(shared.values) + " (" +
                            shared.origin + ")" +
                            (kept.empty()
                                 ? ""
                                 : ", which " + kept + " keep" + (keeping.size() == 1 ? "s" : "")) +
                            "; well." + name + " sets every block's");
        }
    }
    return lines;
}

} // namespace tavrel::sim
