#include "study_key.h"

#include "block_catalog.h"
#include "names.h"
#include "scenario_table.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tavrel::study {

namespace {

// Writes a number over a scenario value; a floating-point value keeps its place in the file,
// so the scenario's own messages still name its line.
void setNumber(toml::table& t, const std::string& name, double value) {
    if (toml::node* node = t.get(name); node && node->is_floating_point()) {
        *node->as_floating_point() = value;
        return;
    }
    t.insert_or_assign(name, value);
}

struct SectionName {
    const char* name;
    StudyKey::Target target;
};
constexpr SectionName section_names[] = {{"simulation", StudyKey::Target::section},
                                         {"summary", StudyKey::Target::section},
                                         {"well", StudyKey::Target::well}};

// What a key may start with: a section or one of the scenario's blocks.
std::vector<std::string> heads(const toml::table& doc) {
    std::vector<std::string> names;
    for (const auto& section : section_names)
        names.emplace_back(section.name);
    if (const toml::table* blocks = doc["blocks"].as_table()) {
        for (const auto& [name, block] : *blocks)
            names.emplace_back(name.str());
    }
    return names;
}

std::string paramUnit(const BlockDescription& kind, std::string_view name) {
    const int k = sim::paramIndex(kind, name);
    return k < 0 ? "" : std::string(kind.params[static_cast<size_t>(k)].unit);
}

const tavrel::PortDescription* inputPort(const BlockDescription& kind, std::string_view name) {
    for (const auto& port : kind.inputs) {
        if (port.name == name) return &port;
    }
    return nullptr;
}

} // namespace

std::string keyUnit(const toml::table& doc, const sim::Scenario& scenario, const StudyKey& key) {
    if (key.target == StudyKey::Target::section)
        return std::string(sim::sectionUnit(key.head, key.name).value_or(""));
    if (key.target == StudyKey::Target::well) {
        for (const auto& block : scenario.blocks) {
            if (sim::paramIndex(block.description(), key.name) >= 0)
                return paramUnit(block.description(), key.name);
        }
        return "";
    }
    const auto block = std::find_if(scenario.blocks.begin(), scenario.blocks.end(),
                                    [&](const auto& b) { return b.name == key.head; });
    if (block == scenario.blocks.end()) return "";
    const BlockDescription& kind = block->description();
    const auto* port = inputPort(kind, key.name);
    // As applyKey writes it: an input the scenario drives, else a parameter.
    const toml::node* input = doc["blocks"][key.head]["inputs"][key.name].node();
    if (key.target == StudyKey::Target::block_value)
        return port && input ? std::string(port->unit) : paramUnit(kind, key.name);
    const toml::table* source = input ? input->as_table() : nullptr;
    if (!port || !source || source->size() != 1) return "";
    return std::string(sim::sourceFieldUnit(source->begin()->first.str(), key.field, port->unit));
}

toml::table& subTable(toml::table& t, const std::string& name, const std::string& key) {
    if (toml::node* node = t.get(name)) {
        if (!node->is_table()) throw std::invalid_argument(key + " is not a table in the scenario");
        return *node->as_table();
    }
    return *t.insert_or_assign(name, toml::table{}).first->second.as_table();
}

StudyKey parseKey(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, '.');)
        parts.push_back(part);
    if (!text.empty() && text.back() == '.') parts.push_back("");
    const bool shape_ok =
        (parts.size() == 2 || parts.size() == 3) &&
        std::none_of(parts.begin(), parts.end(), [](const std::string& p) { return p.empty(); });
    if (!shape_ok)
        throw std::invalid_argument("must be SECTION.NAME, BLOCK.PARAM or BLOCK.INPUT.FIELD");
    StudyKey key{StudyKey::Target::block_value, parts[0], parts[1],
                 parts.size() == 3 ? parts[2] : ""};
    if (parts.size() == 3) key.target = StudyKey::Target::source_field;
    for (const auto& section : section_names) {
        if (key.head != section.name) continue;
        if (parts.size() != 2) throw std::invalid_argument("must be " + key.head + ".NAME");
        key.target = section.target;
    }
    return key;
}

void applyKey(toml::table& doc, const StudyKey& key, double value) {
    switch (key.target) {
    case StudyKey::Target::section:
        setNumber(subTable(doc, key.head, key.head), key.name, value);
        return;
    case StudyKey::Target::well:
        setNumber(subTable(doc, key.head, key.head), key.name, value);
        if (toml::table* blocks = doc["blocks"].as_table()) {
            for (auto& [name, block] : *blocks) {
                toml::table* params =
                    block.is_table() ? (*block.as_table())["params"].as_table() : nullptr;
                if (params && params->contains(key.name)) setNumber(*params, key.name, value);
            }
        }
        return;
    case StudyKey::Target::block_value:
    case StudyKey::Target::source_field: break;
    }
    toml::table* block = doc["blocks"][key.head].as_table();
    if (!block) {
        throw std::invalid_argument("the scenario has no block \"" + key.head + "\"" +
                                    didYouMean(key.head, heads(doc)));
    }
    toml::table* inputs = (*block)["inputs"].as_table();
    toml::node* input = inputs ? inputs->get(key.name) : nullptr;
    if (key.target == StudyKey::Target::block_value) {
        if (input)
            inputs->insert_or_assign(key.name, value);
        else
            setNumber(subTable(*block, "params", "blocks." + key.head + ".params"), key.name,
                      value);
        return;
    }
    toml::table* source = input ? input->as_table() : nullptr;
    if (!source || source->size() != 1 || !source->begin()->second.is_table()) {
        std::vector<std::string> names;
        if (inputs) {
            for (const auto& [name, node] : *inputs)
                names.emplace_back(name.str());
        }
        throw std::invalid_argument("blocks." + key.head + ".inputs." + key.name +
                                    " is not a source with fields in the scenario" +
                                    (input ? "" : didYouMean(key.name, names)));
    }
    setNumber(*source->begin()->second.as_table(), key.field, value);
}

} // namespace tavrel::study
