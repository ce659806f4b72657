#include "scenario.h"

#include "block_catalog.h"
#include "scenario_table.h"
#include "toml_reader.h"
#include "description_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace tavrel::sim {

namespace {

constexpr int max_summary_periods = 1000000;

// Reads a scenario table by table, naming file, line and key in every error.
using Reader = TomlReader<ScenarioError>;

PortRef parsePortRef(const Reader& r, const toml::node& node, const std::string& key) {
    const std::string ref = r.text(node, key);
    const auto dot = ref.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == ref.size()) {
        r.fail(&node, key, "must name a port as \"block.port\", not \"" + ref + "\"");
    }
    return {ref.substr(0, dot), ref.substr(dot + 1)};
}

double optionalNumber(const Reader& r, const toml::table& t, const std::string& key,
                      const char* name, double fallback) {
    const toml::node* node = t.get(name);
    return node ? r.number(*node, key + "." + name) : fallback;
}

double requiredNumber(const Reader& r, const toml::table& t, const std::string& key,
                      const char* name) {
    const toml::node* node = t.get(name);
    if (!node) r.fail(&t, key, std::string("needs \"") + name + "\"");
    return r.number(*node, key + "." + name);
}

// A piecewise-linear table from a CSV file of "time,value" rows (a header line is allowed).
void readTableFile(const Reader& r, const toml::node& node, const std::string& key,
                   const std::string& path, Source& source) {
    std::ifstream in(path);
    if (!in) r.fail(&node, key, "cannot read table file \"" + path + "\"");
    std::string line;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        if (line.empty() || line[0] == '#') continue;
        std::replace(line.begin(), line.end(), ';', ',');
        std::istringstream fields(line);
        double t = 0, v = 0;
        char comma = 0;
        if (!(fields >> t >> comma >> v) || comma != ',') {
            if (line_number == 1 && source.table_times.empty()) continue; // header
            r.fail(&node, key, path + ":" + std::to_string(line_number) +
                                   ": expected \"time,value\"");
        }
        source.table_times.push_back(t);
        source.table_values.push_back(v);
    }
}

void checkTable(const Reader& r, const toml::node& node, const std::string& key,
                const Source& source) {
    if (source.table_times.empty() || source.table_times.size() != source.table_values.size()) {
        r.fail(&node, key, "needs equally many times and values, at least one");
    }
    for (size_t i = 0; i < source.table_times.size(); ++i) {
        if (!std::isfinite(source.table_times[i]) || !std::isfinite(source.table_values[i])) {
            r.fail(&node, key, "row " + std::to_string(i) + " is not finite");
        }
        if (i > 0 && !(source.table_times[i] > source.table_times[i - 1])) {
            r.fail(&node, key, "times must increase (row " + std::to_string(i) + ")");
        }
    }
}

Source parseSource(const Reader& r, const toml::node& node, const std::string& key,
                   const std::string& base_dir);

// What one source kind's parser gets: the reader, the kind's body, its key and the folder of
// relative table files.
struct SourceBody {
    const Reader& r;
    const toml::node& node;
    const std::string& key;
    const std::string& base_dir;
    const toml::table& table(std::initializer_list<const char*> allowed) const {
        const auto& t = r.table(node, key);
        r.onlyKeys(t, key, allowed);
        return t;
    }
};

void parseConstant(const SourceBody& b, Source& s) {
    s.kind = Source::Kind::constant;
    s.value = b.r.number(b.node, b.key);
}

void parseStep(const SourceBody& b, Source& s) {
    const auto& t = b.table({"time", "before", "after"});
    s.kind = Source::Kind::step;
    s.time = requiredNumber(b.r, t, b.key, "time");
    s.before = optionalNumber(b.r, t, b.key, "before", 0);
    s.after = requiredNumber(b.r, t, b.key, "after");
}

void parseRamp(const SourceBody& b, Source& s) {
    const auto& t = b.table({"start_time", "slope", "initial"});
    s.kind = Source::Kind::ramp;
    s.start_time = optionalNumber(b.r, t, b.key, "start_time", 0);
    s.slope = requiredNumber(b.r, t, b.key, "slope");
    s.initial = optionalNumber(b.r, t, b.key, "initial", 0);
}

void parseSine(const SourceBody& b, Source& s) {
    const auto& t = b.table({"amplitude", "period", "phase", "offset"});
    s.kind = Source::Kind::sine;
    s.amplitude = requiredNumber(b.r, t, b.key, "amplitude");
    s.period = requiredNumber(b.r, t, b.key, "period");
    if (!(s.period > 0)) b.r.fail(&t, b.key + ".period", "must be positive");
    s.phase = optionalNumber(b.r, t, b.key, "phase", 0);
    s.offset = optionalNumber(b.r, t, b.key, "offset", 0);
}

void parseTable(const SourceBody& b, Source& s) {
    const auto& t = b.table({"file", "times", "values"});
    s.kind = Source::Kind::table;
    if (const toml::node* file = t.get("file")) {
        std::filesystem::path path = b.r.text(*file, b.key + ".file");
        if (path.is_relative()) path = std::filesystem::path(b.base_dir) / path;
        readTableFile(b.r, *file, b.key + ".file", path.string(), s);
    } else {
        const toml::node* times = t.get("times");
        const toml::node* values = t.get("values");
        if (!times || !values) b.r.fail(&t, b.key, "needs \"file\" or \"times\" and \"values\"");
        s.table_times = b.r.numbers(*times, b.key + ".times");
        s.table_values = b.r.numbers(*values, b.key + ".values");
    }
    checkTable(b.r, b.node, b.key, s);
}

Source parseSource(const Reader& r, const toml::node& node, const std::string& key,
                   const std::string& base_dir);

void parseSum(const SourceBody& b, Source& s) {
    if (!b.node.is_array()) b.r.fail(&b.node, b.key, "must be a list of sources");
    s.kind = Source::Kind::sum;
    const auto& terms = *b.node.as_array();
    for (size_t i = 0; i < terms.size(); ++i) {
        s.terms.push_back(
            parseSource(b.r, terms[i], b.key + "[" + std::to_string(i) + "]", b.base_dir));
    }
}

void parseConnection(const SourceBody& b, Source& s) {
    s.kind = Source::Kind::connection;
    s.port = parsePortRef(b.r, b.node, b.key);
}

void parseHold(const SourceBody& b, Source& s) {
    s.kind = Source::Kind::hold;
    s.port = parsePortRef(b.r, b.node, b.key);
}

void parsePi(const SourceBody& b, Source& s) {
    const auto& t = b.table({"measure", "setpoint", "kp", "ki", "min", "max", "bias", "bias_from"});
    s.kind = Source::Kind::pi;
    const toml::node* measure = t.get("measure");
    if (!measure) b.r.fail(&t, b.key, "needs \"measure\"");
    s.port = parsePortRef(b.r, *measure, b.key + ".measure");
    s.setpoint = requiredNumber(b.r, t, b.key, "setpoint");
    s.kp = optionalNumber(b.r, t, b.key, "kp", 0);
    s.ki = optionalNumber(b.r, t, b.key, "ki", 0);
    s.min = optionalNumber(b.r, t, b.key, "min", -1e300);
    s.max = optionalNumber(b.r, t, b.key, "max", 1e300);
    if (!(s.min <= s.max)) b.r.fail(&t, b.key, "min must not exceed max");
    s.bias = optionalNumber(b.r, t, b.key, "bias", 0);
    if (const toml::node* from = t.get("bias_from")) {
        s.bias_from = parsePortRef(b.r, *from, b.key + ".bias_from");
    }
}

// Every source kind a scenario can name, with its parser.
struct SourceSyntax {
    std::string_view key;
    void (*parse)(const SourceBody&, Source&);
};
constexpr SourceSyntax source_syntax[] = {
    {"constant", &parseConstant}, {"step", &parseStep}, {"ramp", &parseRamp},
    {"sine", &parseSine},         {"table", &parseTable}, {"sum", &parseSum},
    {"from", &parseConnection},   {"hold", &parseHold}, {"pi", &parsePi},
};

std::string sourceKeys() {
    std::string keys;
    for (const auto& syntax : source_syntax) {
        keys += (keys.empty() ? "" : ", ") + std::string(syntax.key);
    }
    return keys;
}

Source parseSourceTable(const Reader& r, const toml::table& t, const std::string& key,
                        const std::string& base_dir) {
    if (t.size() != 1) r.fail(&t, key, "must hold exactly one of " + sourceKeys());
    const auto entry = t.begin();
    const std::string kind(entry->first.str());
    const toml::node& body = entry->second;
    const std::string sub = key + "." + kind;
    for (const auto& syntax : source_syntax) {
        if (syntax.key != kind) continue;
        Source s;
        syntax.parse({r, body, sub, base_dir}, s);
        return s;
    }
    r.fail(&body, sub, "unknown source kind (" + sourceKeys() + ")");
}

Source parseSource(const Reader& r, const toml::node& node, const std::string& key,
                   const std::string& base_dir) {
    if (node.is_number()) {
        Source s;
        s.value = r.number(node, key);
        return s;
    }
    if (node.is_table()) return parseSourceTable(r, *node.as_table(), key, base_dir);
    r.fail(&node, key, "must be a number or a source table");
}

// Nodes of a table in the order they stand in the file.
std::vector<std::pair<std::string, const toml::node*>> inFileOrder(const toml::table& t) {
    std::vector<std::pair<std::string, const toml::node*>> entries;
    for (const auto& [name, node] : t) entries.emplace_back(std::string(name.str()), &node);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.second->source().begin.line < b.second->source().begin.line;
    });
    return entries;
}

void parseSimulation(const Reader& r, const toml::table& t, Scenario& s) {
    const std::string key = "simulation";
    r.onlyKeys(t, key, {"duration", "output_interval", "start_time", "solver", "rtol", "atol",
                        "max_step", "fixed_step"});
    s.duration = optionalNumber(r, t, key, "duration", s.duration);
    s.output_interval = optionalNumber(r, t, key, "output_interval", s.output_interval);
    s.start_time = optionalNumber(r, t, key, "start_time", s.start_time);
    s.solver.rtol = optionalNumber(r, t, key, "rtol", s.solver.rtol);
    s.solver.atol = optionalNumber(r, t, key, "atol", s.solver.atol);
    s.solver.max_step = optionalNumber(r, t, key, "max_step", s.solver.max_step);
    s.solver.fixed_step = optionalNumber(r, t, key, "fixed_step", s.solver.fixed_step);
    if (const toml::node* solver = t.get("solver")) {
        const std::string name = r.text(*solver, key + ".solver");
        const auto kind = solverKind(name);
        if (!kind) r.fail(solver, key + ".solver", std::string("must be ") + solver_choices);
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

std::vector<std::string> paramNames(const BlockDescription& kind) {
    std::vector<std::string> names;
    for (const auto& p : kind.params) names.emplace_back(p.name);
    return names;
}

// The block's dialog parameters by name: its own table first, then the shared [well] table.
std::vector<std::vector<double>> parseParams(const Reader& r, const BlockDescription& kind,
                                             const toml::table* own, const toml::table* well,
                                             const std::string& key, const toml::node* where) {
    std::vector<std::vector<double>> params(kind.params.size());
    std::vector<bool> given(kind.params.size(), false);
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
            params[static_cast<size_t>(k)] = r.numbers(node, prefix + "." + param);
            given[static_cast<size_t>(k)] = true;
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
                        r.fail(&node, "well." + shared, "unknown key" + didYouMean(shared, {missing}));
                    }
                }
            }
            r.fail(where, key + ".params." + missing, "missing parameter");
        }
        params[k] = kind.params[k].isVector() ? std::vector<double>{} : std::vector<double>{0.0};
    }
    return params;
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

host::SharedDescription describeByHandshake(const Reader& r, const BlockConfig& block,
                                            const toml::node& plugin, const std::string& key,
                                            const std::string& base_dir) {
    try {
        const auto opened = host::Plugin::open(host::pluginPath(block.plugin, base_dir));
        return host::describeByHandshake(opened, block.params, block.name);
    } catch (const host::HostError& error) {
        r.fail(&plugin, key, error.what());
    }
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

void validateParams(const std::string& source, const BlockConfig& block, const toml::node* where) {
    const auto problems = checkParams(block.description(), block.params);
    if (problems.empty()) return;
    std::ostringstream message;
    message << source;
    if (where && where->source().begin.line > 0) message << ':' << where->source().begin.line;
    message << ": blocks." << block.name << ".params." << problems[0].param << ": "
            << problems[0].rule;
    throw ScenarioError(message.str());
}

// The block's description and parameters: a shipped block or one with a description file
// beside its plug-in takes them by name; any other plug-in by position, described by its
// handshake.
void readDescribedParams(const Reader& r, BlockConfig& block, const toml::table& t,
                         const toml::table* well, const std::string& key,
                         const std::string& base_dir) {
    const toml::node& plugin = *t.get("plugin");
    const toml::node* kind_node = t.get("kind");
    const toml::node* params = t.get("params");
    if (!findBlockKind(block.kind)) {
        if (kind_node) r.fail(kind_node, key + ".kind", "unknown block \"" + block.kind + "\"");
        block.described = describeFromFile(r, block, plugin, key, base_dir);
    }
    if (findBlockKind(block.kind) || block.described) {
        if (params && !params->is_table()) r.fail(params, key + ".params", "must be a table");
        block.params = parseParams(r, block.description(), params ? params->as_table() : nullptr,
                                   well, key, &t);
    } else {
        block.params = parsePositionalParams(r, params, key);
        block.described = describeByHandshake(r, block, plugin, key, base_dir);
    }
    validateParams(r.source(), block, params ? params : &t);
}

BlockConfig parseBlock(const Reader& r, const std::string& name, const toml::node& node,
                       const toml::table* well, const std::string& base_dir) {
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
    readDescribedParams(r, block, t, well, key, base_dir);

    const auto& described_inputs = block.description().inputs;
    if (const toml::node* inputs = t.get("inputs")) {
        const auto& in = r.table(*inputs, key + ".inputs");
        for (const auto& [port, source] : in) {
            const std::string port_name(port.str());
            const bool known =
                std::any_of(described_inputs.begin(), described_inputs.end(),
                            [&](const PortDescription& p) { return p.name == port_name; });
            if (!known) r.fail(&source, key + ".inputs." + port_name, "unknown input port");
            block.inputs[port_name] = parseSource(r, source, key + ".inputs." + port_name, base_dir);
        }
    }
    return block;
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
    if (source.kind == Source::Kind::connection || source.kind == Source::Kind::hold ||
        source.kind == Source::Kind::pi) {
        check(source.port);
    }
    if (source.bias_from) check(*source.bias_from);
    for (size_t i = 0; i < source.terms.size(); ++i) {
        checkPortRefs(s, source.terms[i], key + ".sum[" + std::to_string(i) + "]");
    }
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
        if (input != block.inputs.end() && input->second.kind == Source::Kind::sine) {
            return input->second.period;
        }
    }
    r.fail(from, key + ".from", "must name a block input driven by a sine source");
}

} // namespace

Scenario Scenario::parse(const std::string& toml_text, const std::string& source_name,
                         const std::string& base_dir) {
    return parseScenarioTable(Reader(source_name).document(toml_text), source_name, base_dir);
}

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
    for (const auto& [name, node] : inFileOrder(*blocks->as_table())) {
        s.blocks.push_back(parseBlock(r, name, *node, well, base_dir));
    }
    if (well) { // every shared parameter must belong to some block
        for (const auto& [name, node] : *well) {
            // A named copy: clang 14 cannot capture a structured binding.
            const std::string param(name.str());
            const bool used = std::any_of(s.blocks.begin(), s.blocks.end(), [&](const BlockConfig& b) {
                return paramIndex(b.description(), param) >= 0;
            });
            if (!used) {
                std::vector<std::string> names;
                for (const auto& b : s.blocks) {
                    const auto more = paramNames(b.description());
                    names.insert(names.end(), more.begin(), more.end());
                }
                r.fail(&node, "well." + param, "no block has this parameter" + didYouMean(param, names));
            }
        }
    }
    if (const toml::node* log = root.get("log")) {
        const auto& t = r.table(*log, "log");
        r.onlyKeys(t, "log", {"columns"});
        if (const toml::node* columns = t.get("columns")) {
            if (!columns->is_array()) r.fail(columns, "log.columns", "must be a list of texts");
            for (const auto& c : *columns->as_array()) s.log.push_back(r.text(c, "log.columns"));
        }
    }
    if (const toml::node* summary = root.get("summary")) {
        const auto& t = r.table(*summary, "summary");
        r.onlyKeys(t, "summary", {"period", "periods"});
        const toml::node* period = t.get("period");
        s.summary_period = period && period->is_table() ? sinePeriodOf(r, s, *period)
                                                        : optionalNumber(r, t, "summary", "period", 0);
        if (s.summary_period < 0) r.fail(&t, "summary.period", "must not be negative");
        // Checked before the conversion: a double outside int's range has no int value.
        const double periods = optionalNumber(r, t, "summary", "periods", 3);
        if (!(periods >= 1 && periods <= max_summary_periods) || periods != std::floor(periods)) {
            r.fail(t.get("periods"), "summary.periods",
                   "must be a whole number from 1 to " + std::to_string(max_summary_periods));
        }
        s.summary_periods = static_cast<int>(periods);
    }
    for (const auto& block : s.blocks) {
        for (const auto& [port, source] : block.inputs) {
            checkPortRefs(s, source, "blocks." + block.name + ".inputs." + port);
        }
    }
    return s;
}

Scenario Scenario::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError(path + ": cannot read the scenario file");
    std::ostringstream text;
    text << in.rdbuf();
    const auto base = std::filesystem::absolute(path).parent_path().string();
    return parse(text.str(), path, base);
}

Scenario Scenario::builtInDefault() {
    return parse(defaultScenarioText(), "<default scenario>", std::filesystem::current_path());
}

const BlockDescription& BlockConfig::description() const {
    return described ? *described : *findBlockKind(kind);
}

const BlockConfig& Scenario::block(const std::string& name) const {
    for (const auto& b : blocks) {
        if (b.name == name) return b;
    }
    throw ScenarioError(source_name + ": no block \"" + name + "\"");
}

void Scenario::set(const std::string& block_name, const std::string& param,
                   const std::vector<double>& values) {
    auto& b = const_cast<BlockConfig&>(block(block_name));
    const BlockDescription* kind = &b.description();
    const int k = paramIndex(*kind, param);
    if (k < 0) {
        throw ScenarioError(source_name + ": blocks." + block_name + ".params." + param +
                            ": unknown parameter of " + std::string(kind->name));
    }
    auto previous = b.params[static_cast<size_t>(k)];
    b.params[static_cast<size_t>(k)] = values;
    try {
        validateParams(source_name, b, nullptr);
    } catch (...) {
        b.params[static_cast<size_t>(k)] = std::move(previous);
        throw;
    }
}

} // namespace tavrel::sim
