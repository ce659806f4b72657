#include "scenario.h"

#include "block_catalog.h"
#include "scenario_parse.h"

#include "bounded_file.h"
#include "scenario_table.h"
#include "well_declarations.h"

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

struct SectionNumber {
    std::string_view section, name, si;
};
constexpr SectionNumber section_numbers[] = {
    {"simulation", "duration", "s"},   {"simulation", "output_interval", "s"},
    {"simulation", "start_time", "s"}, {"simulation", "rtol", "1"},
    {"simulation", "atol", "1"},       {"simulation", "max_step", "s"},
    {"simulation", "fixed_step", "s"}, {"summary", "period", "s"},
    {"summary", "periods", "1"},       {"summary", "from", "s"},
};

// A number of a section's table, in the unit the table above gives it.
double sectionNumber(const Reader& r, const toml::table& t, const char* section, const char* name,
                     double fallback) {
    return optionalNumber(r, t, section, name, fallback, *sectionUnit(section, name));
}

void parseSimulation(const Reader& r, const toml::table& t, Scenario& s) {
    const std::string key = "simulation";
    r.onlyKeys(t, key,
               {"duration", "output_interval", "start_time", "solver", "rtol", "atol", "max_step",
                "fixed_step"});
    const auto number = [&](const char* name, double fallback) {
        return sectionNumber(r, t, "simulation", name, fallback);
    };
    s.duration = number("duration", s.duration);
    s.output_interval = number("output_interval", s.output_interval);
    s.start_time = number("start_time", s.start_time);
    s.solver.rtol = number("rtol", s.solver.rtol);
    s.solver.atol = number("atol", s.solver.atol);
    s.solver.max_step = number("max_step", s.solver.max_step);
    s.solver.fixed_step = number("fixed_step", s.solver.fixed_step);
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

// Every shared parameter must belong to some block; the values are kept with their lines, to
// compare with the blocks' own (not the sensor positions: each block places its own).
void readWell(const Reader& r, const toml::table& well, Scenario& s) {
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
        if (param == well::sensor_positions.name) continue;
        s.well[param] = {r.numbers(node, "well." + param),
                         r.source() + ":" + std::to_string(node.source().begin.line)};
    }
}

void parseLog(const Reader& r, const toml::node& log, Scenario& s) {
    const auto& t = r.table(log, "log");
    r.onlyKeys(t, "log", {"columns"});
    if (const toml::node* columns = t.get("columns")) {
        if (!columns->is_array()) r.fail(columns, "log.columns", "must be a list of texts");
        s.log_line = static_cast<int>(columns->source().begin.line);
        for (const auto& c : *columns->as_array())
            s.log.push_back(r.text(c, "log.columns"));
    }
}

// `[summary] window = { column = "rig.bottom_pressure", min = 405e5, max = 419e5 }`. The
// column is checked against the logged ones when the run begins.
PressureWindow parseWindow(const Reader& r, const toml::node& node) {
    const std::string key = "summary.window";
    const auto& t = r.table(node, key);
    r.onlyKeys(t, key, {"column", "min", "max"});
    PressureWindow window;
    for (const char* needed : {"column", "min", "max"}) {
        if (!t.get(needed)) r.fail(&t, key, std::string("needs ") + needed);
    }
    window.column = r.text(*t.get("column"), key + ".column");
    window.min = r.number(*t.get("min"), key + ".min");
    window.max = r.number(*t.get("max"), key + ".max");
    if (!(window.min < window.max)) r.fail(t.get("max"), key + ".max", "must exceed min");
    return window;
}

void parseSummary(const Reader& r, const toml::node& summary, Scenario& s) {
    const auto& t = r.table(summary, "summary");
    r.onlyKeys(t, "summary", {"period", "periods", "from", "window"});
    const toml::node* period = t.get("period");
    s.summary_period = period && period->is_table() ? sinePeriodOf(r, s, *period)
                                                    : sectionNumber(r, t, "summary", "period", 0);
    if (s.summary_period < 0) r.fail(&t, "summary.period", "must not be negative");
    // Checked before the conversion: a double outside int's range has no int value.
    const double periods = sectionNumber(r, t, "summary", "periods", 3);
    if (!(periods >= 1 && periods <= max_summary_periods) || periods != std::floor(periods)) {
        r.fail(t.get("periods"), "summary.periods",
               "must be a whole number from 1 to " + std::to_string(max_summary_periods));
    }
    s.summary_periods = static_cast<int>(periods);
    if (const toml::node* from = t.get("from")) {
        const double start = sectionNumber(r, t, "summary", "from", 0);
        if (!(start >= s.start_time && start < s.start_time + s.duration)) {
            r.fail(from, "summary.from", "must lie inside the run, before its end");
        }
        s.summary_from = start;
    }
    if (const toml::node* window = t.get("window")) s.summary_window = parseWindow(r, *window);
}

} // namespace

std::optional<std::string_view> sectionUnit(std::string_view section, std::string_view name) {
    for (const auto& n : section_numbers) {
        if (n.section == section && n.name == name) return n.si;
    }
    return std::nullopt;
}

Scenario Scenario::parse(const std::string& toml_text, const std::string& source_name,
                         const std::string& base_dir) {
    return parseScenarioTable(Reader(source_name).document(toml_text), source_name, base_dir);
}

// Parsing first, the whole file; then the resolve step, which opens the plug-ins that only their
// handshake can describe.
Scenario parseScenarioTable(const toml::table& root, const std::string& source_name,
                            const std::string& base_dir) {
    Reader r(source_name);
    r.onlyKeys(root, "scenario", {"simulation", "well", "blocks", "log", "summary", "serve"});
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
    if (well) readWell(r, *well, s);
    if (const toml::node* log = root.get("log")) parseLog(r, *log, s);
    if (const toml::node* summary = root.get("summary")) parseSummary(r, *summary, s);
    resolveBlocks(s, unresolved);
    s.checkOneWell();
    if (const toml::node* serve = root.get("serve")) parseServe(r, *serve, s);
    return s;
}

// The blocks are written one table at a time, in the order they stand in the file.
std::string scenarioText(toml::table doc) {
    std::vector<std::pair<std::string, toml::table>> blocks;
    if (toml::table* all = doc["blocks"].as_table()) {
        for (auto& [name, node] : *all) {
            if (node.is_table())
                blocks.emplace_back(std::string(name.str()), std::move(*node.as_table()));
        }
        std::stable_sort(blocks.begin(), blocks.end(), [](const auto& a, const auto& b) {
            return a.second.source().begin.line < b.second.source().begin.line;
        });
        doc.erase("blocks");
    }
    std::ostringstream text;
    text << toml::toml_formatter(doc) << "\n";
    for (auto& [name, block] : blocks) {
        toml::table wrapper;
        toml::table inner;
        inner.insert(name, std::move(block));
        wrapper.insert("blocks", std::move(inner));
        text << "\n" << toml::toml_formatter(wrapper) << "\n";
    }
    return text.str();
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

namespace {

// Sets one parameter of a block by name, its sensors following a new length or taking new
// positions from the bottom, and validates the block; on a refusal the block is as it was.
void setParam(const std::string& source, BlockConfig& b, size_t k,
              const std::vector<double>& values, const std::string& origin) {
    const BlockConfig previous = b;
    b.params[k] = values;
    b.origins[k] = origin;
    if (static_cast<int>(k) == b.description().sensor_positions_param) b.sensor_places.clear();
    placeSensors(b);
    try {
        validateParams(source, b, 0);
    } catch (...) {
        b = previous;
        throw;
    }
}

} // namespace

// A value of every block that declares the parameter, as [well] sets it; all or none are set.
void Scenario::setWell(const std::string& param, const std::vector<double>& values,
                       const std::string& origin) {
    const auto previous = blocks;
    std::vector<std::string> names;
    bool declared = false;
    const std::string from = origin.empty() ? "set well." + param : origin;
    try {
        for (auto& b : blocks) {
            const int k = paramIndex(b.description(), param);
            const auto more = paramNames(b);
            names.insert(names.end(), more.begin(), more.end());
            if (k < 0) continue;
            declared = true;
            setParam(source_name, b, static_cast<size_t>(k), values, from);
        }
    } catch (...) {
        blocks = previous;
        throw;
    }
    if (!declared) {
        throw ScenarioError(source_name + ": well." + param + ": no block has this parameter" +
                            didYouMean(param, names));
    }
    if (param != well::sensor_positions.name) well[param] = {values, from};
}

void Scenario::set(const std::string& block_name, const std::string& param,
                   const std::vector<double>& values, const std::string& origin) {
    if (block_name == "well") return setWell(param, values, origin); // as [well], study keys
    auto& b = const_cast<BlockConfig&>(block(block_name));
    const BlockDescription* kind = &b.description();
    const int k = paramIndex(*kind, param);
    if (k < 0) {
        throw ScenarioError(source_name + ": blocks." + block_name + ".params." + param +
                            ": unknown parameter of " + std::string(kind->name) +
                            didYouMean(param, paramNames(b)));
    }
    setParam(source_name, b, static_cast<size_t>(k), values,
             origin.empty() ? "set " + block_name + "." + param : origin);
}

} // namespace tavrel::sim
