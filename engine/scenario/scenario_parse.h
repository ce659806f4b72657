// What the scenario files share inside the engine: the reader, the sources' syntax, the blocks'
// tables, and the resolve step that completes the blocks parsing cannot describe.
#pragma once

#include "scenario.h"
#include "toml_reader.h"

#include <toml++/toml.h>

#include <string>
#include <utility>
#include <vector>

namespace tavrel::sim {

// Reads a scenario table by table, naming file, line and key in every error.
using Reader = TomlReader<ScenarioError>;

// The name of an entry of a table of (name, value) pairs, for choiceList.
inline constexpr auto firstOf = [](const auto& entry) { return entry.first; };

// "file:line: key: rule", the form of every scenario error, for a place known by its line only.
[[noreturn]] void failAtLine(const std::string& source, int line, const std::string& key,
                             const std::string& rule);

PortRef parsePortRef(const Reader& r, const toml::node& node, const std::string& key);
// A number of a table, or a text with a unit read as a value in `si` (see Reader::number).
double optionalNumber(const Reader& r, const toml::table& t, const std::string& key,
                      const char* name, double fallback, std::string_view si = {});
// An input's source; `unit` is the port's, in which its values are read ("" when unknown).
Source parseSource(const Reader& r, const toml::node& node, const std::string& key,
                   const std::string& base_dir, std::string_view unit = {});

// A block whose plug-in has no description, shipped or in a file beside it: parsing leaves it
// for the resolve step, which opens the plug-in and describes it by its handshake. The lines are
// kept for the errors found then.
struct UnresolvedBlock {
    size_t index = 0;    // in Scenario::blocks
    int plugin_line = 0; // of its "plugin" key
    int params_line = 0; // of its parameters (or of its table without any)
    std::vector<std::pair<std::string, int>> inputs; // input ports as named, with their lines
};

// One [blocks.NAME] table; a block left for the resolve step is added to `unresolved`.
BlockConfig parseBlock(const Reader& r, const std::string& name, const toml::node& node,
                       const toml::table* well, const std::string& base_dir, size_t index,
                       std::vector<UnresolvedBlock>& unresolved);

// The names of a block's dialog parameters; those a handshake will give (p0, p1, ...) for a
// block not yet resolved.
std::vector<std::string> paramNames(const BlockConfig& block);

bool hasInputPort(const BlockDescription& kind, const std::string& port);

// Every port a source follows (connections and holds, through sums), appended to `ports`.
void followedPorts(const Source& source, std::vector<PortRef>& ports);

// Puts the block's sensors where its sensor places say on its annulus (params in metres from
// the bottom); a block without places keeps its numbers.
void placeSensors(BlockConfig& block);

// Refuses the block's parameters when its description's rules do (at `line` when known).
void validateParams(const std::string& source, const BlockConfig& block, int line);

// The [serve] table, after the resolve step: it names ports of every block.
void parseServe(const Reader& r, const toml::node& node, Scenario& s);

// The resolve step: describes the unresolved blocks by their plug-ins' handshakes (each plug-in
// opened once per process), then checks what needs every block's ports.
void resolveBlocks(Scenario& s, const std::vector<UnresolvedBlock>& unresolved);

} // namespace tavrel::sim
