#include "scenario.h"

#include "block_catalog.h"
#include "scenario_parse.h"

#include "bounded_file.h"
#include "scenario_table.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tavrel::sim {

namespace {

constexpr int max_summary_periods = 1000000;

// Nodes of a table in the order they stand in the file.
std::vector<std::pair<std::string, const toml::node*>> inFileOrder(const toml::table& t) {
    std::vector<std::pair<std::string, const toml::node*>> entries;
    for (const auto& [name, node] : t)
        entries.emplace_back(std::string(name.str()), &node);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.second->source().begin.line < b.second->source().begin.line;
    });
    return entries;
}

void parseSimulation(const Reader& r, const toml::table& t, Scenario& s) {
    const std::string key = "simulation";
    r.onlyKeys(t, key,
               {"duration", "output_interval", "start_time", "solver", "rtol", "atol", "max_step",
                "fixed_step"});
    s.duration = optionalNumber(r, t, key, "duration", s.duration, "s");
    s.output_interval = optionalNumber(r, t, key, "output_interval", s.output_interval, "s");
    s.start_time = optionalNumber(r, t, key, "start_time", s.start_time, "s");
    s.solver.rtol = optionalNumber(r, t, key, "rtol", s.solver.rtol, "1");
    s.solver.atol = optionalNumber(r, t, key, "atol", s.solver.atol, "1");
    s.solver.max_step = optionalNumber(r, t, key, "max_step", s.solver.max_step, "s");
    s.solver.fixed_step = optionalNumber(r, t, key, "fixed_step", s.solver.fixed_step, "s");
    if (const toml::node* solver = t.get("solver")) {
        const std::string name = r.text(*solver, key + ".solver");
        const auto kind = solverKind(name);
        if (!kind) {
            r.fail(solver, key + ".solver",
                   "must be " +
                       choiceList(solver_names, [](const SolverName& n) { return n.name; }));
        }
        s.solver.kind = *kind;
    }
    auto positive = [&](const char* name, double v) {
        if (!(v > 0)) r.fail(t.get(name) ? t.get(name) : &t, key + "." + name, "must be positive");
    };
    positive("duration", s.duration);
    positive("output_interval", s.output_interval);
    positive("rtol", s.solver.rtol);
    positive("atol", s.solver.atol);
    positive("fixed_step", s.solver.fixed_step);
    if (s.solver.max_step < 0) r.fail(t.get("max_step"), key + ".max_step", "must not be negative");
}

// `[summary] period = { from = "rig.displacer_velocity" }`: the period of that input's sine, so
// that the window follows the heave period wherever it is set.
double sinePeriodOf(const Reader& r, const Scenario& s, const toml::node& node) {
    const std::string key = "summary.period";
    const auto& t = r.table(node, key);
    r.onlyKeys(t, key, {"from"});
    const toml::node* from = t.get("from");
    if (!from) r.fail(&t, key, "must be a number or { from = \"block.input\" }");
    const PortRef ref = parsePortRef(r, *from, key + ".from");
    for (const auto& block : s.blocks) {
        if (block.name != ref.block) continue;
        const auto input = block.inputs.find(ref.port);
        if (input == block.inputs.end()) continue;
        if (const auto* sine = input->second.as<source::Sine>()) return sine->period;
    }
    r.fail(from, key + ".from", "must name a block input driven by a sine source");
}

// Every shared parameter must belong to some block.
void checkWell(const Reader& r, const toml::table& well, const Scenario& s) {
    std::vector<std::string> names;
    for (const auto& b : s.blocks) {
        const auto more = paramNames(b);
        names.insert(names.end(), more.begin(), more.end());
    }
    for (const auto& [name, node] : well) {
        const std::string param(name.str());
        if (std::find(names.begin(), names.end(), param) == names.end()) {
            r.fail(&node, "well." + param,
                   "no block has this parameter" + didYouMean(param, names));
        }
    }
}

void parseLog(const Reader& r, const toml::node& log, Scenario& s) {
    const auto& t = r.table(log, "log");
    r.onlyKeys(t, "log", {"columns"});
    if (const toml::node* columns = t.get("columns")) {
        if (!columns->is_array()) r.fail(columns, "log.columns", "must be a list of texts");
        for (const auto& c : *columns->as_array())
            s.log.push_back(r.text(c, "log.columns"));
    }
}

void parseSummary(const Reader& r, const toml::node& summary, Scenario& s) {
    const auto& t = r.table(summary, "summary");
    r.onlyKeys(t, "summary", {"period", "periods"});
    const toml::node* period = t.get("period");
    s.summary_period = period && period->is_table()
                           ? sinePeriodOf(r, s, *period)
                           : optionalNumber(r, t, "summary", "period", 0, "s");
    if (s.summary_period < 0) r.fail(&t, "summary.period", "must not be negative");
    // Checked before the conversion: a double outside int's range has no int value.
    const double periods = optionalNumber(r, t, "summary", "periods", 3, "1");
    if (!(periods >= 1 && periods <= max_summary_periods) || periods != std::floor(periods)) {
        r.fail(t.get("periods"), "summary.periods",
               "must be a whole number from 1 to " + std::to_string(max_summary_periods));
    }
    s.summary_periods = static_cast<int>(periods);
}

} // namespace

Scenario Scenario::parse(const std::string& toml_text, const std::string& source_name,
                         const std::string& base_dir) {
    return parseScenarioTable(Reader(source_name).document(toml_text), source_name, base_dir);
}

// Parsing first, the whole file; then the resolve step, which opens the plug-ins that only their
// handshake can describe.
Scenario parseScenarioTable(const toml::table& root, const std::string& source_name,
                            const std::string& base_dir) {
    Reader r(source_name);
    r.onlyKeys(root, "scenario", {"simulation", "well", "blocks", "log", "summary"});
    Scenario s;
    s.source_name = source_name;
    s.base_dir = base_dir;
    if (const toml::node* sim = root.get("simulation")) {
        parseSimulation(r, r.table(*sim, "simulation"), s);
    }
    const toml::table* well = nullptr;
    if (const toml::node* w = root.get("well")) well = &r.table(*w, "well");
    const toml::node* blocks = root.get("blocks");
    if (!blocks || !blocks->is_table() || blocks->as_table()->empty()) {
        r.fail(blocks, "blocks", "a scenario needs at least one block ([blocks.NAME])");
    }
    std::vector<UnresolvedBlock> unresolved;
    for (const auto& [name, node] : inFileOrder(*blocks->as_table())) {
        s.blocks.push_back(parseBlock(r, name, *node, well, base_dir, s.blocks.size(), unresolved));
    }
    if (well) checkWell(r, *well, s);
    if (const toml::node* log = root.get("log")) parseLog(r, *log, s);
    if (const toml::node* summary = root.get("summary")) parseSummary(r, *summary, s);
    resolveBlocks(s, unresolved);
    return s;
}
Scenario Scenario::load(const std::string& path) {
    std::string text;
    try {
        text = readBoundedFile(path, scenario_file_limits);
    } catch (const FileLimitError& error) {
        throw ScenarioError(error.what());
    }
    const auto base = std::filesystem::absolute(path).parent_path().string();
    return parse(text, path, base);
}

Scenario Scenario::builtInDefault() {
    return parse(defaultScenarioText(), "<default scenario>", std::filesystem::current_path());
}

const BlockDescription& BlockConfig::description() const {
    return described ? *described : *findBlockKind(kind);
}

namespace {

template <class Value>
void setSimulationValue(Scenario& s, const std::string& name, const Value& value) {
    toml::table t;
    t.insert(name, value);
    Scenario changed = s;
    parseSimulation(Reader(s.source_name), t, changed);
    s.solver = changed.solver;
    s.start_time = changed.start_time;
    s.duration = changed.duration;
    s.output_interval = changed.output_interval;
}

} // namespace

void Scenario::setSimulation(const std::string& name, double value) {
    setSimulationValue(*this, name, value);
}

void Scenario::setSimulation(const std::string& name, const std::string& value) {
    setSimulationValue(*this, name, value);
}

const BlockConfig& Scenario::block(const std::string& name) const {
    std::vector<std::string> names;
    for (const auto& b : blocks) {
        if (b.name == name) return b;
        names.push_back(b.name);
    }
    throw ScenarioError(source_name + ": no block \"" + name + "\"" + didYouMean(name, names));
}

// A value of every block that declares the parameter, as [well] sets it; all or none are set.
void Scenario::setWell(const std::string& param, const std::vector<double>& values) {
    std::vector<std::pair<BlockConfig*, std::vector<double>>> previous;
    std::vector<std::string> names;
    for (auto& b : blocks) {
        const int k = paramIndex(b.description(), param);
        const auto more = paramNames(b);
        names.insert(names.end(), more.begin(), more.end());
        if (k < 0) continue;
        previous.emplace_back(&b, b.params[static_cast<size_t>(k)]);
        b.params[static_cast<size_t>(k)] = values;
    }
    if (previous.empty()) {
        throw ScenarioError(source_name + ": well." + param + ": no block has this parameter" +
                            didYouMean(param, names));
    }
    try {
        for (const auto& [b, value] : previous)
            validateParams(source_name, *b, 0);
    } catch (...) {
        for (auto& [b, value] : previous) {
            b->params[static_cast<size_t>(paramIndex(b->description(), param))] = std::move(value);
        }
        throw;
    }
}

void Scenario::set(const std::string& block_name, const std::string& param,
                   const std::vector<double>& values) {
    if (block_name == "well") return setWell(param, values); // as in [well] and study keys
    auto& b = const_cast<BlockConfig&>(block(block_name));
    const BlockDescription* kind = &b.description();
    const int k = paramIndex(*kind, param);
    if (k < 0) {
        throw ScenarioError(source_name + ": blocks." + block_name + ".params." + param +
                            ": unknown parameter of " + std::string(kind->name) +
                            didYouMean(param, paramNames(b)));
    }
    auto previous = b.params[static_cast<size_t>(k)];
    b.params[static_cast<size_t>(k)] = values;
    try {
        validateParams(source_name, b, 0);
    } catch (...) {
        b.params[static_cast<size_t>(k)] = std::move(previous);
        throw;
    }
}

} // namespace tavrel::sim
