// A scenario's [blocks.NAME] tables: the block's kind, its dialog parameters (by name for a
// described block, the shared [well] table included; by position for any other) and the sources
// of its inputs.
#include "scenario_parse.h"

#include "block_catalog.h"
#include "description_file.h"
#include "names.h"

#include <algorithm>
#include <filesystem>

namespace tavrel::sim {

namespace {

int lineOf(const toml::node* node) {
    return node ? static_cast<int>(node->source().begin.line) : 0;
}

std::vector<std::string> paramNames(const BlockDescription& kind) {
    std::vector<std::string> names;
    for (const auto& p : kind.params)
        names.emplace_back(p.name);
    return names;
}

std::string lineOrigin(const Reader& r, const toml::node& node) {
    return r.source() + ":" + std::to_string(lineOf(&node));
}

// A sensor position: metres from the bottom, "bottom", "top" or { depth = D } below the top.
SensorPlace sensorPlace(const Reader& r, const toml::node& node, const std::string& key) {
    const std::string rule = "must be metres from the bottom, \"bottom\", \"top\" or { depth = "
                             "METRES } below the top";
    if (const auto text = node.value<std::string>()) {
        if (*text == "top") return {true, 0};
        if (*text == "bottom") return {false, 0};
        r.fail(&node, key, rule);
    }
    if (const auto* t = node.as_table()) {
        r.onlyKeys(*t, key, {"depth"});
        const toml::node* depth = t->get("depth");
        if (!depth) r.fail(&node, key, rule);
        return {true, r.number(*depth, key + ".depth")};
    }
    return {false, r.number(node, key)};
}

std::vector<SensorPlace> sensorPlaces(const Reader& r, const toml::node& node,
                                      const std::string& key) {
    if (!node.is_array()) return {sensorPlace(r, node, key)};
    std::vector<SensorPlace> places;
    const auto& array = *node.as_array();
    for (size_t i = 0; i < array.size(); ++i)
        places.push_back(sensorPlace(r, array[i], key + "[" + std::to_string(i) + "]"));
    return places;
}

// Where each parameter's value was written, so that a refused value is named at its own line:
// the block's table ("blocks.rig.params.X") or the shared [well] table ("well.X").
struct ParamPlace {
    std::string key;
    const toml::node* node = nullptr;
};

// The block's dialog parameters by name: its own table first, then the shared [well] table;
// each with where it was given.
void parseParams(const Reader& r, BlockConfig& block, const toml::table* own,
                 const toml::table* well, const std::string& key, const toml::node* where,
                 std::vector<ParamPlace>& places) {
    const BlockDescription& kind = block.description();
    auto& params = block.params;
    params.assign(kind.params.size(), {});
    block.origins.assign(kind.params.size(), "the default of " + std::string(kind.name));
    std::vector<bool> given(kind.params.size(), false);
    places.assign(kind.params.size(), {});
    const int sensors = kind.sensor_positions_param;
    auto take = [&](const toml::table& t, const std::string& prefix, bool strict) {
        for (const auto& [name, node] : t) {
            const std::string param(name.str());
            const int k = paramIndex(kind, param);
            if (k < 0) {
                if (strict) {
                    r.fail(&node, prefix + "." + param,
                           "unknown parameter of " + std::string(kind.name) +
                               didYouMean(param, paramNames(kind)));
                }
                continue;
            }
            if (given[static_cast<size_t>(k)]) continue; // the block's own value wins
            if (k == sensors) {
                block.sensor_places = sensorPlaces(r, node, prefix + "." + param);
            } else {
                params[static_cast<size_t>(k)] =
                    r.numbers(node, prefix + "." + param, kind.params[static_cast<size_t>(k)].unit);
            }
            block.origins[static_cast<size_t>(k)] = lineOrigin(r, node);
            given[static_cast<size_t>(k)] = true;
            places[static_cast<size_t>(k)] = {prefix + "." + param, &node};
        }
    };
    if (own) take(*own, key + ".params", true);
    if (well) take(*well, "well", false);
    for (size_t k = 0; k < kind.params.size(); ++k) {
        if (given[k]) continue;
        if (kind.params[k].isRead()) {
            // A shared value under a misspelt name is the mistake to name, at its own line.
            const std::string missing(kind.params[k].name);
            if (well) {
                for (const auto& [name, node] : *well) {
                    const std::string shared(name.str());
                    if (paramIndex(kind, shared) < 0 && !didYouMean(shared, {missing}).empty()) {
                        r.fail(&node, "well." + shared,
                               "unknown key" + didYouMean(shared, {missing}));
                    }
                }
            }
            r.fail(where, key + ".params." + missing, "missing parameter");
        }
        params[k] = kind.params[k].isVector() ? std::vector<double>{} : std::vector<double>{0.0};
    }
    if (sensors >= 0 && given[static_cast<size_t>(sensors)]) placeSensors(block);
}

// The parameters of a plug-in without a description: a list, each entry a number or a list.
std::vector<std::vector<double>> parsePositionalParams(const Reader& r, const toml::node* params,
                                                       const std::string& key) {
    std::vector<std::vector<double>> values;
    if (!params) return values;
    if (!params->is_array()) {
        r.fail(params, key + ".params",
               "must be a list (the plug-in has no description that names its parameters)");
    }
    const auto& list = *params->as_array();
    for (size_t k = 0; k < list.size(); ++k) {
        values.push_back(r.numbers(list[k], key + ".params[" + std::to_string(k) + "]"));
    }
    return values;
}

// The description file beside the plug-in, if there is one.
host::SharedDescription describeFromFile(const Reader& r, const BlockConfig& block,
                                         const toml::node& plugin, const std::string& key,
                                         const std::string& base_dir) {
    try {
        return host::describePlugin(host::pluginPath(block.plugin, base_dir));
    } catch (const host::HostError& error) {
        r.fail(&plugin, key, error.what());
    }
}

// The block's description and parameters: a shipped block or one with a description file
// beside its plug-in takes them by name; any other plug-in by position, described by its
// handshake in the resolve step. Returns whether the block is described now.
bool readDescribedParams(const Reader& r, BlockConfig& block, const toml::table& t,
                         const toml::table* well, const std::string& key,
                         const std::string& base_dir) {
    const toml::node& plugin = *t.get("plugin");
    const toml::node* kind_node = t.get("kind");
    const toml::node* params = t.get("params");
    if (!findBlockKind(block.kind)) {
        if (kind_node) r.fail(kind_node, key + ".kind", "unknown block \"" + block.kind + "\"");
        block.described = describeFromFile(r, block, plugin, key, base_dir);
    }
    if (!findBlockKind(block.kind) && !block.described) {
        block.params = parsePositionalParams(r, params, key);
        block.origins.assign(block.params.size(), lineOrigin(r, params ? *params : t));
        return false;
    }
    if (params && !params->is_table()) r.fail(params, key + ".params", "must be a table");
    std::vector<ParamPlace> places;
    parseParams(r, block, params ? params->as_table() : nullptr, well, key, &t, places);
    // A refused value is named where it was written; a shared one also names the block whose
    // rule refuses it.
    if (const auto problems = checkParams(block.description(), block.params); !problems.empty()) {
        const int k = paramIndex(block.description(), problems[0].param);
        const ParamPlace place = k < 0 ? ParamPlace{} : places[static_cast<size_t>(k)];
        const bool shared = place.key.rfind("well.", 0) == 0;
        if (place.node)
            r.fail(place.node, place.key,
                   problems[0].rule + (shared ? " (in block " + block.name + ")" : ""));
    }
    validateParams(r.source(), block, lineOf(params ? params : &t));
    return true;
}

} // namespace

std::string_view portUnit(const BlockConfig& block, const std::string& port) {
    for (const auto& p : block.description().inputs) {
        if (p.name == port) return p.unit;
    }
    return {};
}

bool hasInputPort(const BlockDescription& kind, const std::string& port) {
    return std::any_of(kind.inputs.begin(), kind.inputs.end(),
                       [&](const PortDescription& p) { return p.name == port; });
}

std::vector<std::string> paramNames(const BlockConfig& block) {
    if (block.described || findBlockKind(block.kind)) return paramNames(block.description());
    std::vector<std::string> names;
    for (size_t k = 0; k < block.params.size(); ++k)
        names.push_back("p" + std::to_string(k));
    return names;
}

void validateParams(const std::string& source, const BlockConfig& block, int line) {
    const auto problems = checkParams(block.description(), block.params);
    if (problems.empty()) return;
    const ParamProblem& problem = problems[0];
    std::string rule = problem.rule;
    // A rule between two parameters names where each was given: they may be far apart.
    if (!problem.other.empty()) {
        auto place = [&](const std::string& param) {
            const auto k = static_cast<size_t>(paramIndex(block.description(), param));
            return param + " from " + (k < block.origins.size() ? block.origins[k] : source);
        };
        rule += " (" + place(problem.param) + ", " + place(problem.other) + ")";
    }
    failAtLine(source, line, "blocks." + block.name + ".params." + problem.param, rule);
}

BlockConfig parseBlock(const Reader& r, const std::string& name, const toml::node& node,
                       const toml::table* well, const std::string& base_dir, size_t index,
                       std::vector<UnresolvedBlock>& unresolved) {
    if (!isName(name)) r.fail(&node, "blocks", "block " + shownName(name) + ": " + name_rule);
    const std::string key = "blocks." + name;
    const auto& t = r.table(node, key);
    r.onlyKeys(t, key, {"plugin", "kind", "params", "inputs"});
    BlockConfig block;
    block.name = name;
    const toml::node* plugin = t.get("plugin");
    if (!plugin) r.fail(&t, key, "needs \"plugin\" (a block name or a plug-in file)");
    block.plugin = r.text(*plugin, key + ".plugin");
    // The block is the plug-in file's name without folder and extension, unless given.
    block.kind = std::filesystem::path(block.plugin).stem().string();
    if (const toml::node* kind = t.get("kind")) block.kind = r.text(*kind, key + ".kind");
    const bool described = readDescribedParams(r, block, t, well, key, base_dir);
    UnresolvedBlock later{
        index, lineOf(plugin), lineOf(t.get("params") ? t.get("params") : &t), {}};

    if (const toml::node* inputs = t.get("inputs")) {
        const auto& in = r.table(*inputs, key + ".inputs");
        for (const auto& [port, source] : in) {
            const std::string port_name(port.str());
            const std::string port_key = key + ".inputs." + port_name;
            if (!described) {
                later.inputs.emplace_back(port_name, lineOf(&source)); // its ports come later
            } else if (!hasInputPort(block.description(), port_name)) {
                r.fail(&source, port_key, "unknown input port");
            }
            block.inputs[port_name] = parseSource(r, source, port_key, base_dir,
                                                  described ? portUnit(block, port_name) : "");
            block.input_lines[port_name] = lineOf(&source);
        }
    }
    if (!described) unresolved.push_back(std::move(later));
    return block;
}

} // namespace tavrel::sim
