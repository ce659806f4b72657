#include "optimization.h"

#include "exact_number.h"
#include "scenario_table.h"
#include "study_key.h"
#include "toml_reader.h"
#include "units.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace tavrel::study {

namespace {

using Reader = sim::TomlReader<StudyError>;

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A probe study's message without its own place ("FILE:LINE: "), which is the generated text's.
std::string withoutPlace(const std::string& message, const std::string& name) {
    if (message.rfind(name + ":", 0) != 0) return message;
    const auto colon = message.find(": ", name.size());
    return colon == std::string::npos ? message : message.substr(colon + 2);
}

long wholeNumber(const Reader& r, const toml::table& t, const char* name, long low, long high,
                 long fallback) {
    const toml::node* n = t.get(name);
    if (!n) return fallback;
    const auto v = sim::wholeValue(*n);
    if (!v || *v < low || *v > high) {
        r.fail(n, std::string("optimize.") + name,
               "must be a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high));
    }
    return static_cast<long>(*v);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The SI unit of each key in the base scenario, so that bounds may carry units; "" for a key
// or a scenario that is refused (the probe says why, at the key's line).
std::vector<std::string> keyUnits(const StudySource& source, const std::vector<std::string>& keys) {
    std::vector<std::string> units(keys.size());
    try {
        const toml::table doc = Reader(source.scenario_name).document(source.scenario_text);
        const sim::Scenario scenario =
            sim::parseScenarioTable(doc, source.scenario_name, source.base_dir);
        for (size_t k = 0; k < keys.size(); ++k) {
            try {
                units[k] = keyUnit(doc, scenario, parseKey(keys[k]));
            } catch (const std::invalid_argument&) {
            }
        }
    } catch (const std::runtime_error&) {
    }
    return units;
}

} // namespace

const char* methodName(Method method) {
    for (const auto& m : method_names) {
        if (m.method == method) return m.name;
    }
    return "?";
}

struct Optimization::Impl {
    StudySource source;
    toml::table doc; // kept so that nodes named in messages stay valid
    std::vector<Bounded> vary;
    std::vector<const toml::node*> vary_nodes;
    std::vector<std::string> objectives;
    std::vector<const toml::node*> objective_nodes;
    std::vector<double> weights;
    std::vector<MetricBound> constraints;
    std::vector<const toml::node*> constraint_nodes;
    std::vector<std::string> metrics;
    Method method = Method::nelder_mead;
    long max_evaluations = 200;
    std::uint64_t seed = 0;
    long population = 10;
    std::string overrides; // the file's [simulation] and [summary] tables, for every batch

    void parse();
    void parseObjectives(const Reader& r, const toml::table& t);
    void parseConstraints(const Reader& r, const toml::table& t);
    void parseVary(const Reader& r, const toml::table& t);
    void checkMetric(const Reader& r, const toml::node& node, const std::string& key,
                     const std::string& text) const;
    // Returns the SI unit of each metric, as the start point's study finds it.
    std::vector<std::string> probe(const Reader& r) const;
    void readLimits(const Reader& r, const std::vector<std::string>& units);
    std::string batchText(const std::vector<std::vector<double>>& points) const;
};

void Optimization::Impl::parse() {
    Reader r(source.name);
    doc = r.document(source.text);
    r.onlyKeys(doc, "optimization file", {"scenario", "simulation", "summary", "optimize"});
    std::ostringstream tables;
    for (const char* section : {"simulation", "summary"}) {
        if (const toml::node* n = doc.get(section)) {
            tables << "[" << section << "]\n" << toml::toml_formatter(r.table(*n, section)) << "\n";
        }
    }
    overrides = tables.str();
    const toml::node* node = doc.get("optimize");
    if (!node) r.fail(nullptr, "optimize", "an optimization file needs an [optimize] table");
    const toml::table& t = r.table(*node, "optimize");
    r.onlyKeys(t, "optimize",
               {"minimize", "weights", "method", "max_evaluations", "seed", "subject_to", "vary",
                "population"});
    if (const toml::node* n = t.get("method")) {
        const std::string name = r.text(*n, "optimize.method");
        const auto known = std::find_if(std::begin(method_names), std::end(method_names),
                                        [&](const MethodName& m) { return name == m.name; });
        if (known == std::end(method_names)) {
            r.fail(n, "optimize.method",
                   "must be " +
                       sim::choiceList(
                           method_names, [](const MethodName& m) { return m.name; }, "\""));
        }
        method = known->method;
    }
    max_evaluations = wholeNumber(r, t, "max_evaluations", 1, 1000000, 200);
    seed = static_cast<std::uint64_t>(wholeNumber(r, t, "seed", 0, 2147483647, 0));
    population = wholeNumber(r, t, "population", 4, 1000, 10);
    parseObjectives(r, t);
    parseConstraints(r, t);
    parseVary(r, t);
    for (const auto& c : constraints) {
        if (std::find(metrics.begin(), metrics.end(), c.metric) == metrics.end())
            metrics.push_back(c.metric);
    }
    readLimits(r, probe(r));
}

void Optimization::Impl::checkMetric(const Reader& r, const toml::node& node,
                                     const std::string& key, const std::string& text) const {
    Metric metric;
    std::string rule = parseMetric(text, metric);
    if (rule.empty() && metric.misfit()) {
        rule = loadMeasured(metric, std::filesystem::absolute(source.name).parent_path().string());
    }
    if (!rule.empty()) r.fail(&node, key + ": \"" + text + "\"", rule);
}

void Optimization::Impl::parseObjectives(const Reader& r, const toml::table& t) {
    const toml::node* n = t.get("minimize");
    if (!n)
        r.fail(&t, "optimize.minimize",
               "needs a metric \"COLUMN:STAT\" or misfits \"COLUMN~FILE:rms\"");
    if (const toml::array* list = n->as_array()) {
        for (const auto& item : *list)
            objective_nodes.push_back(&item);
        if (list->empty()) r.fail(n, "optimize.minimize", "needs at least one metric");
    } else {
        objective_nodes.push_back(n);
    }
    for (const toml::node* item : objective_nodes) {
        objectives.push_back(r.text(*item, "optimize.minimize"));
        checkMetric(r, *item, "optimize.minimize", objectives.back());
        if (std::find(metrics.begin(), metrics.end(), objectives.back()) != metrics.end()) {
            r.fail(item, "optimize.minimize", "\"" + objectives.back() + "\" is listed already");
        }
        metrics.push_back(objectives.back());
    }
    weights.assign(objectives.size(), 1.0);
    if (const toml::node* w = t.get("weights")) {
        weights = r.numbers(*w, "optimize.weights");
        if (weights.size() != objectives.size()) {
            r.fail(w, "optimize.weights",
                   "needs one weight per metric of minimize (" + std::to_string(objectives.size()) +
                       ")");
        }
        for (double v : weights) {
            if (!(v > 0)) r.fail(w, "optimize.weights", "must be positive");
        }
    }
}

void Optimization::Impl::parseConstraints(const Reader& r, const toml::table& t) {
    const toml::node* n = t.get("subject_to");
    if (!n) return;
    if (!n->is_array())
        r.fail(n, "optimize.subject_to", "must be a list of \"METRIC <= LIMIT\" texts");
    for (const auto& item : *n->as_array()) {
        MetricBound c;
        c.text = r.text(item, "optimize.subject_to");
        auto op = c.text.find("<=");
        c.at_most = op != std::string::npos;
        if (!c.at_most) op = c.text.find(">=");
        const std::string key = "optimize.subject_to: \"" + c.text + "\"";
        if (op == std::string::npos)
            r.fail(&item, key, "must be \"METRIC <= LIMIT\" or \"METRIC >= LIMIT\"");
        c.metric = trimmed(c.text.substr(0, op));
        // Read once the metric's unit is known (readLimits): "411.5 bar" or SI.
        if (trimmed(c.text.substr(op + 2)).empty()) r.fail(&item, key, "needs a limit");
        if (c.metric.empty()) r.fail(&item, key, "names no metric");
        checkMetric(r, item, "optimize.subject_to", c.metric);
        constraints.push_back(c);
        constraint_nodes.push_back(&item);
    }
}

void Optimization::Impl::parseVary(const Reader& r, const toml::table& t) {
    const toml::node* n = t.get("vary");
    if (!n || !n->is_array_of_tables() || n->as_array()->empty()) {
        r.fail(n ? n : &t, "optimize.vary", "needs at least one [[optimize.vary]] table");
    }
    const auto& entries = *n->as_array();
    std::vector<std::string> keys;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string key = "optimize.vary[" + std::to_string(i) + "]";
        const auto& entry = *entries[i].as_table();
        r.onlyKeys(entry, key, {"key", "bounds", "start"});
        const toml::node* name = entry.get("key");
        if (!name) r.fail(&entries[i], key, "needs \"key\"");
        keys.push_back(r.text(*name, key + ".key"));
        if (std::count(keys.begin(), keys.end(), keys.back()) > 1)
            r.fail(name, key + ".key", "\"" + keys.back() + "\" is varied already");
    }
    const auto units = keyUnits(source, keys);
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string key = "optimize.vary[" + std::to_string(i) + "]";
        const auto& entry = *entries[i].as_table();
        Bounded b;
        b.key = keys[i];
        const toml::node* bounds = entry.get("bounds");
        if (!bounds) r.fail(&entries[i], key, "needs \"bounds\" = [LOWER, UPPER]");
        const auto range = r.numbers(*bounds, key + ".bounds", units[i]);
        if (range.size() != 2 || !(range[0] < range[1])) {
            r.fail(bounds, key + ".bounds", "must be [LOWER, UPPER] with LOWER < UPPER");
        }
        b.lower = range[0];
        b.upper = range[1];
        b.start = b.lower + 0.5 * (b.upper - b.lower);
        if (const toml::node* start = entry.get("start")) {
            b.start = r.number(*start, key + ".start", units[i]);
            if (!(b.start >= b.lower && b.start <= b.upper)) {
                r.fail(start, key + ".start", "must lie within the bounds");
            }
        }
        vary.push_back(b);
        vary_nodes.push_back(&entries[i]);
    }
}

// Every key at its bounds and start alone (the others at their starts), so that a refused value
// names its own line; then the metrics against the logged columns.
std::vector<std::string> Optimization::Impl::probe(const Reader& r) const {
    std::vector<double> starts;
    for (const auto& b : vary)
        starts.push_back(b.start);
    for (size_t k = 0; k < vary.size(); ++k) {
        std::vector<std::vector<double>> points(3, starts);
        points[0][k] = vary[k].lower;
        points[1][k] = vary[k].upper;
        try {
            Study::fromSource({batchText(points), source.name, source.scenario_text,
                               source.scenario_name, source.base_dir});
        } catch (const StudyError& error) {
            const std::string rule = withoutPlace(error.what(), source.name);
            if (rule.rfind("study.metrics", 0) == 0) continue; // reported below, at its own line
            r.fail(vary_nodes[k], "optimize.vary[" + std::to_string(k) + "]", rule);
        }
    }
    try {
        return Study::fromSource({batchText({starts}), source.name, source.scenario_text,
                                  source.scenario_name, source.base_dir})
            .metricUnits();
    } catch (const StudyError& error) {
        const std::string rule = withoutPlace(error.what(), source.name);
        const auto quote = rule.find('"');
        const std::string column =
            quote == std::string::npos ? "" : rule.substr(quote + 1, rule.rfind('"') - quote - 1);
        const auto at = rule.find("no logged column");
        const std::string missing = at == std::string::npos ? rule : rule.substr(at);
        for (size_t i = 0; i < objectives.size(); ++i) {
            if (!column.empty() && objectives[i].rfind(column, 0) == 0) {
                r.fail(objective_nodes[i], "optimize.minimize: \"" + objectives[i] + "\"", missing);
            }
        }
        for (size_t i = 0; i < constraints.size(); ++i) {
            if (!column.empty() && constraints[i].metric.find(column) != std::string::npos) {
                r.fail(constraint_nodes[i], "optimize.subject_to: \"" + constraints[i].text + "\"",
                       missing);
            }
        }
        r.fail(doc.get("optimize"), "optimize", rule);
    }
}

// A limit in SI, or with a unit of its metric's quantity ("411.5 bar").
void Optimization::Impl::readLimits(const Reader& r, const std::vector<std::string>& units) {
    for (size_t i = 0; i < constraints.size(); ++i) {
        MetricBound& c = constraints[i];
        const std::string text = trimmed(c.text.substr(c.text.find(c.at_most ? "<=" : ">=") + 2));
        char* end = nullptr;
        c.limit = std::strtod(text.c_str(), &end);
        if (*end == '\0' && std::isfinite(c.limit)) continue;
        const auto at = std::find(metrics.begin(), metrics.end(), c.metric) - metrics.begin();
        std::string error;
        const auto k = static_cast<size_t>(at);
        const auto limit = parseQuantity(text, k < units.size() ? units[k] : "", error);
        if (!limit) {
            r.fail(constraint_nodes[i], "optimize.subject_to: \"" + c.text + "\"",
                   "the limit: " + error);
        }
        c.limit = *limit;
    }
}

std::string Optimization::Impl::batchText(const std::vector<std::vector<double>>& points) const {
    std::ostringstream text;
    text << overrides << "[study]\nmode = \"zip\"\nmetrics = [";
    for (size_t i = 0; i < metrics.size(); ++i)
        text << (i ? ", " : "") << quoted(metrics[i]);
    text << "]\n";
    for (size_t k = 0; k < vary.size(); ++k) {
        text << "[[study.vary]]\nkey = " << quoted(vary[k].key) << "\nvalues = [";
        for (size_t p = 0; p < points.size(); ++p)
            text << (p ? ", " : "") << exactNumber(points[p].at(k));
        text << "]\n";
    }
    return text.str();
}

Optimization::Optimization(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Optimization::~Optimization() = default;
Optimization::Optimization(Optimization&&) noexcept = default;
Optimization& Optimization::operator=(Optimization&&) noexcept = default;

Optimization Optimization::load(const std::string& path) {
    return fromSource(loadSource(path, "optimization file"));
}

Optimization Optimization::fromSource(StudySource source) {
    auto impl = std::make_unique<Impl>();
    impl->source = std::move(source);
    impl->parse();
    return Optimization(std::move(impl));
}

const StudySource& Optimization::source() const { return impl_->source; }
std::string Optimization::fingerprint() const { return fingerprintOf(impl_->source); }
const std::vector<Bounded>& Optimization::vary() const { return impl_->vary; }
const std::vector<std::string>& Optimization::objectives() const { return impl_->objectives; }
const std::vector<double>& Optimization::weights() const { return impl_->weights; }
const std::vector<MetricBound>& Optimization::constraints() const { return impl_->constraints; }
const std::vector<std::string>& Optimization::metrics() const { return impl_->metrics; }
Method Optimization::method() const { return impl_->method; }
long Optimization::maxEvaluations() const { return impl_->max_evaluations; }
std::uint64_t Optimization::seed() const { return impl_->seed; }
long Optimization::population() const { return impl_->population; }

Study Optimization::batch(const std::vector<std::vector<double>>& points) const {
    if (points.empty()) throw StudyError(impl_->source.name + ": a batch needs at least one point");
    for (const auto& p : points) {
        if (p.size() != impl_->vary.size()) {
            throw StudyError(impl_->source.name + ": a point needs " +
                             std::to_string(impl_->vary.size()) + " values");
        }
    }
    return Study::fromSource({impl_->batchText(points), impl_->source.name,
                              impl_->source.scenario_text, impl_->source.scenario_name,
                              impl_->source.base_dir});
}

} // namespace tavrel::study
