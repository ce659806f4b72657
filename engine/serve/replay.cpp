#include "replay.h"

#include "scenario_table.h"

#include <toml++/toml.h>

#include <filesystem>
#include <sstream>

namespace tavrel::serve {

namespace {

toml::array numbers(const std::vector<double>& values) {
    toml::array list;
    for (double v : values)
        list.push_back(v);
    return list;
}

std::string anchored(const std::string& path, const std::string& base_dir) {
    const std::filesystem::path p(path);
    return p.is_relative() ? (std::filesystem::path(base_dir) / p).lexically_normal().string()
                           : path;
}

// Table files named relative to the scenario's folder, anywhere in a block's sources, named
// from the root: the replay is written in another folder.
void anchorTableFiles(toml::node& node, const std::string& base_dir) {
    if (toml::array* list = node.as_array()) {
        for (auto& item : *list)
            anchorTableFiles(item, base_dir);
    }
    toml::table* table = node.as_table();
    if (!table) return;
    if (toml::table* source = (*table)["table"].as_table()) {
        if (const auto file = (*source)["file"].value<std::string>())
            source->insert_or_assign("file", anchored(*file, base_dir));
    }
    for (auto& [key, value] : *table)
        anchorTableFiles(value, base_dir);
}

// A plug-in named by its file, and table files, relative to the scenario's folder.
void anchorFiles(toml::table& doc, const std::string& base_dir) {
    toml::table* blocks = doc["blocks"].as_table();
    if (!blocks) return;
    for (auto& [name, node] : *blocks) {
        toml::table* block = node.as_table();
        if (!block) continue;
        if (const auto plugin = (*block)["plugin"].value<std::string>()) {
            const bool is_file =
                plugin->find('/') != std::string::npos || plugin->ends_with(".mexa64");
            if (is_file) block->insert_or_assign("plugin", anchored(*plugin, base_dir));
        }
        if (toml::node* inputs = block->get("inputs")) anchorTableFiles(*inputs, base_dir);
    }
}

} // namespace

std::string replayText(const std::string& scenario_text, const sim::Scenario& scenario,
                       const std::vector<AppliedSeries>& inputs, double duration,
                       const std::string& header) {
    toml::table doc = toml::parse(scenario_text, scenario.source_name);
    doc.erase("serve");
    anchorFiles(doc, scenario.base_dir);
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
