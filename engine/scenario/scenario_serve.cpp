// The [serve] table: the inputs a control system writes over the network and the ports it
// reads, named as connections name them, each checked against the resolved blocks.
#include "scenario_parse.h"

#include "block_catalog.h"
#include "overloaded.h"

#include <algorithm>
#include <limits>

namespace tavrel::sim {

namespace {

constexpr std::pair<std::string_view, ValueFormat> value_formats[] = {
    {"float32", ValueFormat::float32}, {"float64", ValueFormat::float64}};

// "block.port" of every input port, and of every output port, of the scenario's blocks.
struct PortNames {
    std::vector<std::string> inputs, outputs;
    explicit PortNames(const Scenario& s) {
        for (const auto& block : s.blocks) {
            for (const auto& port : block.description().inputs)
                inputs.push_back(block.name + "." + std::string(port.name));
            for (const auto& port : outputPorts(block.description(), block.params)) {
                if (port.written) outputs.push_back(block.name + "." + port.name);
            }
        }
    }
};

// A controller keeps a state of its own that a sampled fall-back could not carry into a replay.
bool hasController(const Source& source) {
    return std::visit(Overloaded{[](const source::Pi&) { return true; },
                                 [](const source::Sum& sum) {
                                     return std::any_of(sum.terms.begin(), sum.terms.end(),
                                                        hasController);
                                 },
                                 [](const auto&) { return false; }},
                      source.kind);
}

PortRef namedPort(const Reader& r, const toml::node& node, const std::string& key,
                  const std::vector<std::string>& names, const char* what) {
    const PortRef ref = parsePortRef(r, node, key);
    const std::string name = ref.block + "." + ref.port;
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        r.fail(&node, key,
               "no " + std::string(what) + " \"" + name + "\"" + didYouMean(name, names));
    }
    return ref;
}

ServedInput parseWritten(const Reader& r, const toml::node& node, const std::string& key,
                         const Scenario& s, const PortNames& names) {
    ServedInput input;
    const toml::node* port = &node;
    if (node.is_table()) {
        const auto& t = *node.as_table();
        r.onlyKeys(t, key, {"input", "min", "max"});
        port = t.get("input");
        if (!port) r.fail(&t, key, "needs \"input\"");
        input.min = optionalNumber(r, t, key, "min", input.min);
        input.max = optionalNumber(r, t, key, "max", input.max);
        if (!(input.min <= input.max)) r.fail(&t, key, "min must not exceed max");
    }
    input.port = namedPort(r, *port, key, names.inputs, "input port");
    const auto& sources = s.block(input.port.block).inputs;
    const auto own = sources.find(input.port.port);
    if (own != sources.end() && hasController(own->second)) {
        r.fail(port, key,
               "its own source, the fall-back, is a PI controller, whose state a replay could "
               "not hold: give the input a signal of time or a connection");
    }
    return input;
}

std::string portName(const PortRef& ref) { return ref.block + "." + ref.port; }

} // namespace

void parseServe(const Reader& r, const toml::node& node, Scenario& s) {
    const auto& t = r.table(node, "serve");
    r.onlyKeys(t, "serve", {"write", "read", "format", "timeout"});
    const PortNames names(s);
    std::vector<std::string> seen;
    auto once = [&](const toml::node& at, const std::string& key, const PortRef& ref) {
        if (std::find(seen.begin(), seen.end(), portName(ref)) != seen.end()) {
            r.fail(&at, key, "\"" + portName(ref) + "\" is named twice");
        }
        seen.push_back(portName(ref));
    };
    if (const toml::node* write = t.get("write")) {
        if (!write->is_array()) r.fail(write, "serve.write", "must be a list of input ports");
        const auto& list = *write->as_array();
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string key = "serve.write[" + std::to_string(i) + "]";
            s.serve.write.push_back(parseWritten(r, list[i], key, s, names));
            once(list[i], key, s.serve.write.back().port);
        }
    }
    seen.clear();
    if (const toml::node* read = t.get("read")) {
        if (!read->is_array()) r.fail(read, "serve.read", "must be a list of ports");
        std::vector<std::string> all = names.outputs;
        all.insert(all.end(), names.inputs.begin(), names.inputs.end());
        const auto& list = *read->as_array();
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string key = "serve.read[" + std::to_string(i) + "]";
            s.serve.read.push_back(namedPort(r, list[i], key, all, "port"));
            once(list[i], key, s.serve.read.back());
        }
        if (list.empty()) r.fail(read, "serve.read", "must name at least one port");
    }
    if (const toml::node* format = t.get("format")) {
        const std::string name = r.text(*format, "serve.format");
        const auto known = std::find_if(std::begin(value_formats), std::end(value_formats),
                                        [&](const auto& entry) { return entry.first == name; });
        if (known == std::end(value_formats)) {
            r.fail(format, "serve.format", "must be " + choiceList(value_formats, firstOf, "\""));
        }
        s.serve.format = known->second;
    }
    s.serve.timeout = optionalNumber(r, t, "serve", "timeout", s.serve.timeout);
    if (!(s.serve.timeout > 0)) r.fail(t.get("timeout"), "serve.timeout", "must be positive");
}

} // namespace tavrel::sim
