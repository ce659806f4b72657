#include "replay.h"

#include "scenario_table.h"

#include <toml++/toml.h>

#include <sstream>

namespace tavrel::serve {

namespace {

toml::array numbers(const std::vector<double>& values) {
    toml::array list;
    for (double v : values)
        list.push_back(v);
    return list;
}

} // namespace

std::string replayText(const std::string& scenario_text, const std::string& source_name,
                       const std::vector<AppliedSeries>& inputs, double duration,
                       const std::string& header) {
    toml::table doc = toml::parse(scenario_text, source_name);
    doc.erase("serve");
    if (!doc["simulation"].is_table()) doc.insert("simulation", toml::table{});
    doc["simulation"].as_table()->insert_or_assign("duration", duration);
    for (const auto& input : inputs) {
        toml::table* block = doc["blocks"][input.port.block].as_table();
        if (!block) continue; // parsed from this very text: every served block is there
        if (!(*block)["inputs"].is_table()) block->insert("inputs", toml::table{});
        toml::table table{{"times", numbers(input.times)},
                          {"values", numbers(input.values)},
                          {"interpolation", "previous"}};
        (*block)["inputs"].as_table()->insert_or_assign(input.port.port,
                                                        toml::table{{"table", std::move(table)}});
    }
    std::string comments;
    std::istringstream lines(header);
    for (std::string line; std::getline(lines, line);)
        comments += "# " + line + "\n";
    return comments + sim::scenarioText(std::move(doc));
}

} // namespace tavrel::serve
