// The resolve step after parsing: a block whose plug-in has no description is described by the
// plug-in's sizing handshake, the plug-in opened once per process; then every port a source
// names must exist. Parsing itself opens no plug-in.
#include "scenario_parse.h"

#include "block_catalog.h"
#include "overloaded.h"
#include "plugin_cache.h"

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

bool hasPort(const Scenario& s, const PortRef& ref) {
    for (const auto& block : s.blocks) {
        if (block.name != ref.block) continue;
        const BlockDescription* kind = &block.description();
        for (const auto& port : outputPorts(*kind, block.params)) {
            if (port.name == ref.port) return true;
        }
        for (const auto& port : kind->inputs) {
            if (port.name == ref.port) return true;
        }
    }
    return false;
}

void checkPortRefs(const Scenario& s, const Source& source, const std::string& key) {
    auto check = [&](const PortRef& ref) {
        if (!hasPort(s, ref)) {
            throw ScenarioError(s.source_name + ": " + key + ": no port \"" + ref.block + "." +
                                ref.port + "\"");
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
                                  checkPortRefs(s, sum.terms[i],
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
    for (const auto& block : s.blocks) {
        for (const auto& [port, source] : block.inputs) {
            checkPortRefs(s, source, "blocks." + block.name + ".inputs." + port);
        }
    }
}

} // namespace tavrel::sim
