// What the study files share inside the engine: a study's parsed state and the parts of its
// parsing (the [study] table, its cases, their validation).
#pragma once

#include "study.h"

#include "study_key.h"

#include "scenario_table.h"
#include "toml_reader.h"

#include <toml++/toml.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel::study {

// Errors of the study file: "<file>:<line>: <key>: <rule>".
using Reader = sim::TomlReader<StudyError>;

// One [[study.vary]]: its values go to every key it names (keys that must move together,
// such as a well's length and the displacer's depth).
struct Variation {
    std::vector<std::string> keys;
    std::vector<StudyKey> parsed;   // one per key
    std::vector<std::string> units; // one per key
    std::vector<double> values;
    const toml::node* where = nullptr;
    bool random = false; // drawn: a value a rule refuses fails its case, not the study
};

// How the variations make cases: every combination, or lists side by side.
enum class Mode { grid, zip };
const char* modeName(Mode mode);

struct Study::Impl {
    StudySource source;
    toml::table study_doc; // kept so that nodes named in messages stay valid
    std::vector<Variation> variations;
    std::vector<std::string> keys;
    std::vector<StudyKey> parsed_keys;  // one per key
    std::vector<std::string> key_units; // one per key, SI (see keyUnit)
    std::vector<Metric> metrics;
    std::vector<std::vector<double>> cases;
    std::vector<std::string> metric_units;
    Mode mode = Mode::grid;
    bool random = false; // a key is drawn at random (a Monte Carlo study)

    // The scenario's document with the study's overrides. Parsed afresh each time: a copied
    // document loses its lines, which order the blocks and name places in messages.
    toml::table base() const {
        toml::table doc = Reader(source.scenario_name).document(source.scenario_text);
        for (const char* section : {"simulation", "summary"}) {
            const toml::table* overrides = study_doc[section].as_table();
            if (!overrides) continue;
            toml::table& target = subTable(doc, section, section);
            for (const auto& [name, node] : *overrides)
                target.insert_or_assign(name, node);
        }
        return doc;
    }

    toml::table document(const std::vector<double>& values) const {
        toml::table doc = base();
        for (size_t k = 0; k < keys.size(); ++k)
            applyKey(doc, parsed_keys[k], values[k]);
        return doc;
    }

    sim::Scenario scenario(const std::vector<double>& values) const {
        return sim::parseScenarioTable(document(values), source.scenario_name, source.base_dir);
    }

    void parse();
    void parseStudyTable(const Reader& r, const toml::table& t);
    void parseMetrics(const Reader& r, const toml::table& t);
    // The base scenario, refused at the study's [simulation] table when it does not load.
    sim::Scenario baseScenario(const Reader& r, const toml::table& doc) const;
    Variation parseVariation(const Reader& r, const toml::node& node, const std::string& key,
                             long samples, std::uint64_t seed, size_t index, const toml::table& doc,
                             const sim::Scenario& scenario);
    void buildCases(const Reader& r, const toml::node& where, Mode mode);
    void validateValues(const Reader& r);
    void validate(const Reader& r);
    void checkColumns(const Reader& r, const std::vector<sim::Column>& columns);
};

} // namespace tavrel::study
