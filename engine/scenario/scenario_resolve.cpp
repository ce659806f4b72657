// The resolve step after parsing: a block whose plug-in has no description is described by the
// plug-in's sizing handshake, the plug-in opened once per process; then every port a source
// names must exist. Parsing itself opens no plug-in.
#include "scenario_parse.h"

#include "block_catalog.h"
#include "overloaded.h"
#include "plugin_cache.h"

#include <algorithm>

namespace tavrel::sim {

namespace {

void describeByHandshake(const Scenario& s, BlockConfig& block, const UnresolvedBlock& where) {
    try {
        const auto plugin = host::openPluginOnce(host::pluginPath(block.plugin, s.base_dir));
        block.described = host::describeByHandshake(plugin, block.params, block.name);
    } catch (const host::HostError& error) {
        failAtLine(s.source_name, where.plugin_line, "blocks." + block.name, error.what());
    }
    validateParams(s.source_name, block, where.params_line);
    for (const auto& [port, line] : where.inputs) {
        if (!hasInputPort(block.description(), port)) {
            failAtLine(s.source_name, line, "blocks." + block.name + ".inputs." + port,
                       "unknown input port");
        }
    }
}

// Every port a source may name, "block.port".
std::vector<std::string> portNames(const Scenario& s) {
    std::vector<std::string> names;
    for (const auto& block : s.blocks) {
        const BlockDescription& kind = block.description();
        for (const auto& port : outputPorts(kind, block.params))
            names.push_back(block.name + "." + port.name);
        for (const auto& port : kind.inputs)
            names.push_back(block.name + "." + std::string(port.name));
    }
    return names;
}

void checkPortRefs(const Scenario& s, const std::vector<std::string>& ports, const Source& source,
                   const std::string& key) {
    auto check = [&](const PortRef& ref) {
        const std::string name = ref.block + "." + ref.port;
        if (std::find(ports.begin(), ports.end(), name) == ports.end()) {
            throw ScenarioError(s.source_name + ": " + key + ": no port \"" + name + "\"" +
                                didYouMean(name, ports));
        }
    };
    std::visit(Overloaded{[&](const source::Connection& c) { check(c.port); },
                          [&](const source::Hold& h) { check(h.port); },
                          [&](const source::Pi& pi) {
                              check(pi.measure);
                              if (pi.bias_from) check(*pi.bias_from);
                          },
                          [&](const source::Sum& sum) {
                              for (size_t i = 0; i < sum.terms.size(); ++i) {
                                  checkPortRefs(s, ports, sum.terms[i],
                                                key + ".sum[" + std::to_string(i) + "]");
                              }
                          },
                          [](const auto&) {}},
               source.kind);
}

} // namespace

void resolveBlocks(Scenario& s, const std::vector<UnresolvedBlock>& unresolved) {
    for (const auto& block : unresolved)
        describeByHandshake(s, s.blocks[block.index], block);
    const std::vector<std::string> ports = portNames(s);
    for (const auto& block : s.blocks) {
        for (const auto& [port, source] : block.inputs) {
            checkPortRefs(s, ports, source, "blocks." + block.name + ".inputs." + port);
        }
    }
}

} // namespace tavrel::sim
