#include "study.h"

#include "generators.h"
#include "study_key.h"

#include "exact_number.h"

#include "result_files.h"
#include "scenario_table.h"
#include "toml_reader.h"
#include "simulation.h"

#include <toml++/toml.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tavrel::study {

namespace {

constexpr size_t max_cases = 1000000;

// Errors of the study file: "<file>:<line>: <key>: <rule>".
using Reader = sim::TomlReader<StudyError>;

// One [[study.vary]]: its values go to every key it names (keys that must move together,
// such as a well's length and the displacer's depth).
struct Variation {
    std::vector<std::string> keys;
    std::vector<StudyKey> parsed; // one per key
    std::vector<double> values;
    const toml::node* where = nullptr;
    bool random = false; // drawn: a value a rule refuses fails its case, not the study
};

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

enum class Mode { grid, zip };
struct ModeName {
    const char* name;
    Mode mode;
};
constexpr ModeName mode_names[] = {{"grid", Mode::grid}, {"zip", Mode::zip}};

std::uint64_t fnv1a(const std::string& text, std::uint64_t hash = 0xcbf29ce484222325ull) {
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

std::string readFile(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw StudyError(path + ": cannot read the " + what);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

struct Study::Impl {
    StudySource source;
    toml::table study_doc;     // kept so that nodes named in messages stay valid
    std::vector<Variation> variations;
    std::vector<std::string> keys;
    std::vector<StudyKey> parsed_keys; // one per key
    std::vector<Metric> metrics;
    std::vector<std::vector<double>> cases;
    std::vector<std::string> metric_units;

    // The scenario's document with the study's overrides. Parsed afresh each time: a copied
    // document loses its lines, which order the blocks and name places in messages.
    toml::table base() const {
        toml::table doc = Reader(source.scenario_name).document(source.scenario_text);
        for (const char* section : {"simulation", "summary"}) {
            const toml::table* overrides = study_doc[section].as_table();
            if (!overrides) continue;
            toml::table& target = subTable(doc, section, section);
            for (const auto& [name, node] : *overrides) target.insert_or_assign(name, node);
        }
        return doc;
    }

    toml::table document(const std::vector<double>& values) const {
        toml::table doc = base();
        for (size_t k = 0; k < keys.size(); ++k) applyKey(doc, parsed_keys[k], values[k]);
        return doc;
    }

    sim::Scenario scenario(const std::vector<double>& values) const {
        return sim::parseScenarioTable(document(values), source.scenario_name, source.base_dir);
    }

    void parse();
    void parseStudyTable(const Reader& r, const toml::table& t);
    void parseMetrics(const Reader& r, const toml::table& t);
    Variation parseVariation(const Reader& r, const toml::node& node, const std::string& key,
                             long samples, std::uint64_t seed, size_t index);
    void buildCases(const Reader& r, const toml::node& where, Mode mode);
    void validateValues(const Reader& r);
    void validate(const Reader& r);
    void checkColumns(const Reader& r, const std::vector<sim::Column>& columns);
};

void Study::Impl::parse() {
    Reader r(source.name);
    study_doc = r.document(source.text);
    r.onlyKeys(study_doc, "study file", {"scenario", "simulation", "summary", "study"});
    for (const char* section : {"simulation", "summary"}) {
        if (const toml::node* overrides = study_doc.get(section)) r.table(*overrides, section);
    }
    const toml::node* study = study_doc.get("study");
    if (!study) r.fail(nullptr, "study", "a study file needs a [study] table");
    parseStudyTable(r, r.table(*study, "study"));
    validate(r);
}

void Study::Impl::parseStudyTable(const Reader& r, const toml::table& t) {
    r.onlyKeys(t, "study", {"mode", "metrics", "vary", "samples", "seed"});
    long samples = 0;
    if (const toml::node* n = t.get("samples")) {
        const double v = r.number(*n, "study.samples");
        if (!(v >= 1 && v <= 1e6 && v == std::floor(v))) {
            r.fail(n, "study.samples", "must be a whole number from 1 to 1000000");
        }
        samples = static_cast<long>(v);
    }
    std::uint64_t seed = 0;
    if (const toml::node* n = t.get("seed")) {
        const auto v = n->value<int64_t>();
        if (!v || *v < 0) r.fail(n, "study.seed", "must be a whole number, not negative");
        seed = static_cast<std::uint64_t>(*v);
    }
    parseMetrics(r, t);
    const toml::node* vary = t.get("vary");
    if (!vary || !vary->is_array_of_tables() || vary->as_array()->empty()) {
        r.fail(vary ? vary : &t, "study.vary", "needs at least one [[study.vary]] table");
    }
    const auto& entries = *vary->as_array();
    for (size_t i = 0; i < entries.size(); ++i) {
        variations.push_back(parseVariation(r, entries[i], "study.vary[" + std::to_string(i) + "]",
                                            samples, seed, i));
        for (const auto& key : variations.back().keys) {
            if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
                r.fail(&entries[i], "study.vary[" + std::to_string(i) + "].key",
                       "\"" + key + "\" is varied already");
            }
            keys.push_back(key);
        }
        parsed_keys.insert(parsed_keys.end(), variations.back().parsed.begin(),
                           variations.back().parsed.end());
    }
    const bool random = std::any_of(entries.begin(), entries.end(), [](const toml::node& n) {
        for (const auto& g : generators()) {
            if (g.random && n.as_table()->contains(g.name)) return true;
        }
        return false;
    });
    Mode mode = random ? Mode::zip : Mode::grid;
    if (const toml::node* n = t.get("mode")) {
        const std::string name = r.text(*n, "study.mode");
        const auto known = std::find_if(std::begin(mode_names), std::end(mode_names),
                                        [&](const ModeName& m) { return name == m.name; });
        if (known == std::end(mode_names)) r.fail(n, "study.mode", "must be \"grid\" or \"zip\"");
        mode = known->mode;
    }
    validateValues(r); // before the cases are made: a refused value costs nothing then
    buildCases(r, t.get("mode") ? *t.get("mode") : t, mode);
}

void Study::Impl::parseMetrics(const Reader& r, const toml::table& t) {
    const toml::node* list = t.get("metrics");
    if (!list || !list->is_array() || list->as_array()->empty()) {
        r.fail(list ? list : &t, "study.metrics", "needs a list of \"COLUMN:STAT\" texts");
    }
    for (const auto& node : *list->as_array()) {
        Metric metric;
        const std::string rule = parseMetric(r.text(node, "study.metrics"), metric);
        if (!rule.empty()) r.fail(&node, "study.metrics: \"" + metric.text + "\"", rule);
        if (metric.misfit()) {
            // Measured files are found beside the study file.
            const auto folder = std::filesystem::absolute(source.name).parent_path().string();
            const std::string missing = loadMeasured(metric, folder);
            if (!missing.empty()) r.fail(&node, "study.metrics: \"" + metric.text + "\"", missing);
        }
        metrics.push_back(metric);
    }
}

Variation Study::Impl::parseVariation(const Reader& r, const toml::node& node,
                                      const std::string& key, long samples, std::uint64_t seed,
                                      size_t index) {
    const auto& t = *node.as_table();
    Variation v;
    v.where = &node;
    const toml::node* name = t.get("key");
    if (!name) r.fail(&node, key, "needs \"key\"");
    if (const toml::array* names = name->as_array()) {
        for (const auto& n : *names) v.keys.push_back(r.text(n, key + ".key"));
        if (v.keys.empty()) r.fail(name, key + ".key", "needs at least one key");
    } else {
        v.keys.push_back(r.text(*name, key + ".key"));
    }
    for (const auto& text : v.keys) {
        try {
            v.parsed.push_back(parseKey(text));
        } catch (const std::invalid_argument& error) {
            r.fail(name, key + ".key: \"" + text + "\"", error.what());
        }
    }
    const Generator* generator = nullptr;
    for (const auto& [field, value] : t) {
        const std::string_view given = field.str(); // clang 14 cannot capture a binding
        if (given == "key") continue;
        const auto known = std::find_if(generators().begin(), generators().end(),
                                        [&](const Generator& g) { return given == g.name; });
        if (known == generators().end() || generator) {
            r.fail(&value, key + "." + std::string(field.str()),
                   "needs exactly one of values, linspace, logspace, range, uniform, normal, "
                   "lognormal");
        }
        generator = &*known;
    }
    if (!generator) {
        r.fail(&node, key, "needs one of values, linspace, logspace, range, uniform, normal, lognormal");
    }
    const std::string sub = key + "." + generator->name;
    const toml::node& body = *t.get(generator->name);
    v.where = &body; // a refused value is reported on its generator's line
    GeneratorArgs args;
    if (generator->fields.empty()) {
        if (!body.is_array()) r.fail(&body, sub, "must be a list of numbers");
        for (const auto& item : *body.as_array()) args.list.push_back(r.number(item, sub));
    } else {
        const auto& fields = r.table(body, sub);
        double* slots[] = {&args.a, &args.b, &args.c};
        for (size_t f = 0; f < generator->fields.size(); ++f) {
            const toml::node* field = fields.get(generator->fields[f]);
            if (!field) r.fail(&body, sub, std::string("needs \"") + generator->fields[f] + "\"");
            *slots[f] = r.number(*field, sub + "." + generator->fields[f]);
        }
        if (fields.size() != generator->fields.size()) r.fail(&body, sub, "has unknown fields");
    }
    v.random = generator->random;
    if (generator->random) {
        if (samples < 1) r.fail(&body, sub, "random draws need [study] samples");
        args.samples = samples;
        args.stream = streamSeed(seed, index);
    }
    try {
        v.values = generator->make(args);
    } catch (const std::invalid_argument& error) {
        r.fail(&body, sub, error.what());
    }
    return v;
}

void Study::Impl::buildCases(const Reader& r, const toml::node& where, Mode mode) {
    if (mode == Mode::zip) {
        for (const auto& v : variations) {
            if (v.values.size() != variations[0].values.size()) {
                r.fail(v.where, "study.mode", "\"zip\" needs lists of equal length (" + v.keys[0] +
                                                  " has " + std::to_string(v.values.size()) +
                                                  ", " + variations[0].keys[0] + " " +
                                                  std::to_string(variations[0].values.size()) + ")");
            }
        }
        for (size_t i = 0; i < variations[0].values.size(); ++i) {
            std::vector<double> values;
            for (const auto& v : variations) values.insert(values.end(), v.keys.size(), v.values[i]);
            cases.push_back(std::move(values));
        }
        return;
    }
    size_t total = 1;
    for (const auto& v : variations) {
        total *= v.values.size();
        if (total > max_cases) r.fail(&where, "study.mode", "more than 1000000 cases");
    }
    // Every combination, the last key varying fastest.
    for (size_t i = 0; i < total; ++i) {
        std::vector<double> choice(variations.size());
        size_t rest = i;
        for (size_t k = variations.size(); k-- > 0;) {
            choice[k] = variations[k].values[rest % variations[k].values.size()];
            rest /= variations[k].values.size();
        }
        std::vector<double> values;
        for (size_t k = 0; k < variations.size(); ++k) {
            values.insert(values.end(), variations[k].keys.size(), choice[k]);
        }
        cases.push_back(std::move(values));
    }
}

// Every value alone (so a refused value names its own key and line); the cases come later.
void Study::Impl::validateValues(const Reader& r) {
    try {
        sim::parseScenarioTable(base(), source.scenario_name, source.base_dir);
    } catch (const sim::ScenarioError& error) {
        r.fail(study_doc.get("simulation"), "scenario", error.what());
    }
    for (const auto& v : variations) {
        std::string first_value, first_rule;
        size_t accepted = 0, refused_before_any = 0;
        for (double value : v.values) {
            toml::table doc = base();
            try {
                for (const auto& key : v.parsed) applyKey(doc, key, value);
            } catch (const std::exception& error) { // the key itself: wrong for every value
                r.fail(v.where, v.keys[0] + " = " + exactNumber(value), error.what());
            }
            try {
                sim::parseScenarioTable(doc, source.scenario_name, source.base_dir);
                ++accepted;
            } catch (const std::exception& error) {
                // A listed value is the file's own mistake. A drawn one may fall where a rule
                // refuses it: that case is recorded as failed, unless no draw is acceptable
                // (then the key or the distribution is wrong).
                if (!v.random) r.fail(v.where, v.keys[0] + " = " + exactNumber(value), error.what());
                if (first_value.empty()) {
                    first_value = v.keys[0] + " = " + exactNumber(value);
                    first_rule = error.what();
                }
                // A hundred refusals before any acceptance: the distribution is wrong; say so
                // now rather than after checking every draw.
                if (accepted == 0 && ++refused_before_any == 100) r.fail(v.where, first_value, first_rule);
            }
        }
        if (accepted == 0 && !first_value.empty()) r.fail(v.where, first_value, first_rule);
    }
}

void Study::Impl::validate(const Reader& r) {
    const toml::node* metrics_node = study_doc["study"]["metrics"].node();
    const bool drawn = std::any_of(variations.begin(), variations.end(),
                                   [](const Variation& v) { return v.random; });
    bool columns_checked = false;
    for (size_t i = 0; i < cases.size(); ++i) {
        sim::Scenario s;
        try {
            s = scenario(cases[i]);
        } catch (const std::exception& error) {
            if (drawn) continue; // recorded as a failed case when it runs
            r.fail(study_doc.get("study"), "case " + std::to_string(i), error.what());
        }
        for (const auto& m : metrics) {
            if (m.needsPeriod() && !(s.summary_period > 0)) {
                r.fail(metrics_node, "study.metrics: \"" + m.text + "\"",
                       "amplitude and phase need a [summary] period");
            }
        }
        if (!columns_checked) {
            // The logged columns come from the blocks' setup; a case that cannot set up fails
            // when it runs, and is recorded then.
            std::vector<sim::Column> columns;
            try {
                columns = sim::Simulation(s).columns();
            } catch (const std::exception&) {
            }
            // Checked now: a misspelt metric is refused before thousands of cases are built.
            checkColumns(r, columns);
            columns_checked = true;
        }
    }
    if (!columns_checked) checkColumns(r, {});
}

void Study::Impl::checkColumns(const Reader& r, const std::vector<sim::Column>& columns) {
    const toml::node* metrics_node = study_doc["study"]["metrics"].node();
    if (!columns.empty()) {
        const std::string missing = missingColumn(metrics, columns);
        if (!missing.empty()) r.fail(metrics_node, "study.metrics", "no logged column \"" + missing + "\"");
        for (const auto& m : metrics) {
            for (const auto& c : columns) {
                if (c.name == m.column) metric_units.push_back(metricUnit(m, c.unit));
            }
        }
    } else {
        for (const auto& m : metrics) metric_units.push_back(m.stat == Stat::phase ? "rad" : "");
    }
}

Study::Study(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Study::~Study() = default;
Study::Study(Study&&) noexcept = default;
Study& Study::operator=(Study&&) noexcept = default;

StudySource loadSource(const std::string& path, const char* what) {
    StudySource source;
    source.text = readFile(path, what);
    source.name = path;
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    // The base scenario is read here, so that what runs is fixed by these two texts.
    std::string scenario = "default";
    std::string where = path; // "file:line" of the scenario key
    try {
        const auto doc = toml::parse(source.text, path);
        if (const toml::node* n = doc.get("scenario")) {
            where += ":" + std::to_string(n->source().begin.line);
            const auto text = n->value<std::string>();
            if (!text) throw StudyError(where + ": scenario: must be \"default\" or a scenario file");
            scenario = *text;
        }
    } catch (const toml::parse_error&) {
        // reported with its line by fromSource
    }
    if (scenario == "default") {
        source.scenario_text = sim::defaultScenarioText();
        source.scenario_name = "<default scenario>";
        source.base_dir = std::filesystem::current_path().string();
    } else {
        std::filesystem::path file = scenario;
        if (file.is_relative()) file = folder / file;
        try {
            source.scenario_text = readFile(file.string(), "scenario file");
        } catch (const StudyError& error) {
            throw StudyError(where + ": scenario: " + error.what());
        }
        source.scenario_name = file.string();
        source.base_dir = file.parent_path().string();
    }
    return source;
}

Study Study::load(const std::string& path) { return fromSource(loadSource(path, "study file")); }

std::string fingerprintOf(const StudySource& source) {
    const std::uint64_t hash = fnv1a(source.scenario_text, fnv1a(source.text + '\0'));
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

Study Study::fromSource(StudySource source) {
    auto impl = std::make_unique<Impl>();
    impl->source = std::move(source);
    impl->parse();
    return Study(std::move(impl));
}

const StudySource& Study::source() const { return impl_->source; }

std::string Study::fingerprint() const { return fingerprintOf(impl_->source); }

const std::vector<std::string>& Study::keys() const { return impl_->keys; }
const std::vector<Metric>& Study::metrics() const { return impl_->metrics; }

std::vector<std::string> Study::metricHeaders() const {
    std::vector<std::string> headers;
    for (size_t i = 0; i < impl_->metrics.size(); ++i) {
        const std::string& unit = impl_->metric_units[i];
        headers.push_back(impl_->metrics[i].text + (unit.empty() ? "" : " [" + unit + "]"));
    }
    return headers;
}

size_t Study::caseCount() const { return impl_->cases.size(); }
const std::vector<double>& Study::caseValues(size_t index) const { return impl_->cases.at(index); }

sim::Scenario Study::scenarioFor(size_t index) const { return impl_->scenario(caseValues(index)); }

// The blocks are written one table at a time in the order they stand in the scenario, because
// that order is the order of evaluation and of the logged columns; numbers with 17 digits.
std::string Study::caseText(size_t index) const {
    toml::table doc = impl_->document(caseValues(index));
    std::vector<std::pair<std::string, toml::table>> blocks;
    if (toml::table* all = doc["blocks"].as_table()) {
        for (auto& [name, node] : *all) {
            if (node.is_table()) blocks.emplace_back(std::string(name.str()), std::move(*node.as_table()));
        }
        std::stable_sort(blocks.begin(), blocks.end(), [](const auto& a, const auto& b) {
            return a.second.source().begin.line < b.second.source().begin.line;
        });
        doc.erase("blocks");
    }
    std::ostringstream text;
    text << "# Case " << index << " of " << impl_->source.name << " (scenario "
         << impl_->source.scenario_name << ")\n";
    for (size_t k = 0; k < keys().size(); ++k) {
        text << "#   " << keys()[k] << " = " << exactNumber(caseValues(index)[k]) << "\n";
    }
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

CaseResult Study::run(size_t index, sim::ResultSink* results) const {
    const auto start = std::chrono::steady_clock::now();
    CaseResult result;
    try {
        const sim::Scenario scenario = scenarioFor(index);
        MetricSink metrics(impl_->metrics, scenario);
        if (results) {
            sim::TeeSink both({&metrics, results});
            sim::runScenario(scenario, both);
        } else {
            sim::runScenario(scenario, metrics);
        }
        result.values = metrics.values();
        result.ok = true;
    } catch (const std::exception& error) {
        result.error = oneLine(error.what());
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace tavrel::study
