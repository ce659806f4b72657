// Parsing a study's [study] table: its metrics, the variations of its keys, and the cases they
// make (every combination, or lists side by side).
#include "study_impl.h"

#include "generators.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>

namespace tavrel::study {

namespace {

constexpr size_t max_cases = 1000000;

struct ModeName {
    const char* name;
    Mode mode;
};
constexpr ModeName mode_names[] = {{"grid", Mode::grid}, {"zip", Mode::zip}};

std::string generatorChoices() {
    return sim::choiceList(
        generators(), [](const Generator& g) { return g.name; }, "", ", ");
}

} // namespace

const char* modeName(Mode mode) {
    for (const auto& m : mode_names) {
        if (m.mode == mode) return m.name;
    }
    return "?";
}

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
        const auto v = sim::wholeValue(*n);
        if (!v || *v < 0) r.fail(n, "study.seed", "must be a whole number, not negative");
        seed = static_cast<std::uint64_t>(*v);
    }
    parseMetrics(r, t);
    const toml::table doc = base();
    const sim::Scenario scenario = baseScenario(r, doc);
    const toml::node* vary = t.get("vary");
    if (!vary || !vary->is_array_of_tables() || vary->as_array()->empty()) {
        r.fail(vary ? vary : &t, "study.vary", "needs at least one [[study.vary]] table");
    }
    const auto& entries = *vary->as_array();
    for (size_t i = 0; i < entries.size(); ++i) {
        variations.push_back(parseVariation(r, entries[i], "study.vary[" + std::to_string(i) + "]",
                                            samples, seed, i, doc, scenario));
        for (const auto& key : variations.back().keys) {
            if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
                r.fail(&entries[i], "study.vary[" + std::to_string(i) + "].key",
                       "\"" + key + "\" is varied already");
            }
            keys.push_back(key);
        }
        parsed_keys.insert(parsed_keys.end(), variations.back().parsed.begin(),
                           variations.back().parsed.end());
        key_units.insert(key_units.end(), variations.back().units.begin(),
                         variations.back().units.end());
    }
    random = std::any_of(variations.begin(), variations.end(),
                         [](const Variation& v) { return v.random; });
    mode = random ? Mode::zip : Mode::grid;
    if (const toml::node* n = t.get("mode")) {
        const std::string name = r.text(*n, "study.mode");
        const auto known = std::find_if(std::begin(mode_names), std::end(mode_names),
                                        [&](const ModeName& m) { return name == m.name; });
        if (known == std::end(mode_names)) {
            r.fail(n, "study.mode",
                   "must be " + sim::choiceList(
                                    mode_names, [](const ModeName& m) { return m.name; }, "\""));
        }
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

sim::Scenario Study::Impl::baseScenario(const Reader& r, const toml::table& doc) const {
    try {
        return sim::parseScenarioTable(doc, source.scenario_name, source.base_dir);
    } catch (const sim::ScenarioError& error) {
        r.fail(study_doc.get("simulation"), "scenario", error.what());
    }
}

Variation Study::Impl::parseVariation(const Reader& r, const toml::node& node,
                                      const std::string& key, long samples, std::uint64_t seed,
                                      size_t index, const toml::table& doc,
                                      const sim::Scenario& scenario) {
    const auto& t = *node.as_table();
    Variation v;
    v.where = &node;
    const toml::node* name = t.get("key");
    if (!name) r.fail(&node, key, "needs \"key\"");
    if (const toml::array* names = name->as_array()) {
        for (const auto& n : *names)
            v.keys.push_back(r.text(n, key + ".key"));
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
        v.units.push_back(keyUnit(doc, scenario, v.parsed.back()));
    }
    // A value is read in its keys' unit ("12 s" for a period); keys that move together in
    // different units take plain SI numbers.
    const bool one_unit = std::all_of(v.units.begin(), v.units.end(),
                                      [&](const std::string& u) { return u == v.units[0]; });
    const auto value = [&](const toml::node& item, const std::string& at, bool in_key_unit) {
        if (!in_key_unit) return r.number(item, at, "1");
        if (!one_unit && item.is_string()) {
            r.fail(&item, at, "the keys are in different units: write a number in SI");
        }
        return r.number(item, at, one_unit ? v.units[0] : "");
    };
    const Generator* generator = nullptr;
    for (const auto& [field, value] : t) {
        const std::string_view given = field.str(); // clang 14 cannot capture a binding
        if (given == "key") continue;
        const auto known = std::find_if(generators().begin(), generators().end(),
                                        [&](const Generator& g) { return given == g.name; });
        if (known == generators().end() || generator) {
            r.fail(&value, key + "." + std::string(field.str()),
                   "needs exactly one of " + generatorChoices());
        }
        generator = &*known;
    }
    if (!generator) {
        r.fail(&node, key, "needs one of " + generatorChoices());
    }
    const std::string sub = key + "." + generator->name;
    const toml::node& body = *t.get(generator->name);
    v.where = &body; // a refused value is reported on its generator's line
    GeneratorArgs args;
    if (generator->fields.empty()) {
        if (!body.is_array()) r.fail(&body, sub, "must be a list of numbers");
        for (const auto& item : *body.as_array())
            args.list.push_back(value(item, sub, true));
    } else {
        const auto& fields = r.table(body, sub);
        double* slots[] = {&args.a, &args.b, &args.c};
        for (size_t f = 0; f < generator->fields.size(); ++f) {
            const GeneratorField& wanted = generator->fields[f];
            const toml::node* field = fields.get(wanted.name);
            if (!field) r.fail(&body, sub, std::string("needs \"") + wanted.name + "\"");
            *slots[f] = value(*field, sub + "." + wanted.name, wanted.in_key_unit);
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
                r.fail(v.where, "study.mode",
                       "\"zip\" needs lists of equal length (" + v.keys[0] + " has " +
                           std::to_string(v.values.size()) + ", " + variations[0].keys[0] + " " +
                           std::to_string(variations[0].values.size()) + ")");
            }
        }
        for (size_t i = 0; i < variations[0].values.size(); ++i) {
            std::vector<double> values;
            for (const auto& v : variations)
                values.insert(values.end(), v.keys.size(), v.values[i]);
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

} // namespace tavrel::study
