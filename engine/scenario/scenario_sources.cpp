// The sources of a scenario's inputs: constants, steps, ramps, sines, tables (inline or from a
// CSV file), sums, connections, held values and PI controllers.
#include "scenario_parse.h"

#include "bounded_file.h"
#include "scenario_table.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace tavrel::sim {

void failAtLine(const std::string& source, int line, const std::string& key,
                const std::string& rule) {
    std::ostringstream message;
    message << source;
    if (line > 0) message << ':' << line;
    message << ": " << key << ": " << rule;
    throw ScenarioError(message.str());
}

PortRef parsePortRef(const Reader& r, const toml::node& node, const std::string& key) {
    const std::string ref = r.text(node, key);
    const auto dot = ref.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == ref.size()) {
        r.fail(&node, key, "must name a port as \"block.port\", not \"" + ref + "\"");
    }
    return {ref.substr(0, dot), ref.substr(dot + 1)};
}

double optionalNumber(const Reader& r, const toml::table& t, const std::string& key,
                      const char* name, double fallback, std::string_view si) {
    const toml::node* node = t.get(name);
    return node ? r.number(*node, key + "." + name, si) : fallback;
}

namespace {

double requiredNumber(const Reader& r, const toml::table& t, const std::string& key,
                      const char* name, std::string_view si) {
    const toml::node* node = t.get(name);
    if (!node) r.fail(&t, key, std::string("needs \"") + name + "\"");
    return r.number(*node, key + "." + name, si);
}

// Where each row of a table stands, for its errors: "data.csv:7" for a file's line, "times[3]"
// for an inline list.
using RowPlaces = std::vector<std::string>;

// The factor of a heading's unit in brackets ("time [min]") to `si`; 1 without one. A unit of
// another quantity, or one the table of units does not know, is refused at the heading's line:
// a value is never read in a unit other than the one written.
double headingFactor(const Reader& r, const toml::node& node, const std::string& key,
                     const std::string& place, std::string heading, std::string_view si) {
    while (!heading.empty() && (heading.back() == ' ' || heading.back() == '\r'))
        heading.pop_back();
    const auto open = heading.rfind('[');
    if (heading.empty() || heading.back() != ']' || open == std::string::npos) return 1;
    const std::string unit = heading.substr(open + 1, heading.size() - open - 2);
    std::string error;
    if (const auto factor = parseQuantity("1 " + unit, si, error)) return *factor;
    r.fail(&node, key, place + ": column \"" + heading + "\": " + error);
}

// A piecewise-linear table from a CSV file of "time,value" rows. A heading line may give the
// columns' units ("time [min],pressure [bar]"); the rows are then converted to SI.
RowPlaces readTableFile(const Reader& r, const toml::node& node, const std::string& key,
                        const std::string& path, std::string_view unit, source::Table& table) {
    std::string text;
    try {
        text = readBoundedFile(path, table_file_limits);
    } catch (const FileLimitError& error) {
        r.fail(&node, key, error.what());
    }
    std::istringstream in(text);
    std::string line;
    int line_number = 0;
    RowPlaces places;
    double time_factor = 1, value_factor = 1;
    while (std::getline(in, line)) {
        ++line_number;
        if (line.empty() || line[0] == '#') continue;
        std::replace(line.begin(), line.end(), ';', ',');
        std::istringstream fields(line);
        double t = 0, v = 0;
        char comma = 0;
        const std::string place = path + ":" + std::to_string(line_number);
        if (!(fields >> t >> comma >> v) || comma != ',') {
            if (line_number == 1 && table.times.empty()) { // the heading line
                const auto split = line.find(',');
                time_factor = headingFactor(r, node, key, place, line.substr(0, split), "s");
                if (split != std::string::npos) {
                    value_factor = headingFactor(r, node, key, place, line.substr(split + 1), unit);
                }
                continue;
            }
            r.fail(&node, key, place + ": expected \"time,value\"");
        }
        table.times.push_back(t * time_factor);
        table.values.push_back(v * value_factor);
        places.push_back(place);
    }
    return places;
}

void checkTable(const Reader& r, const toml::node& node, const std::string& key,
                const source::Table& table, const RowPlaces& places) {
    if (table.times.empty() || table.times.size() != table.values.size()) {
        r.fail(&node, key, "needs equally many times and values, at least one");
    }
    auto place = [&](size_t i) {
        return i < places.size() ? places[i] : "times[" + std::to_string(i) + "]";
    };
    for (size_t i = 0; i < table.times.size(); ++i) {
        if (!std::isfinite(table.times[i]) || !std::isfinite(table.values[i])) {
            r.fail(&node, key, place(i) + ": not finite");
        }
        if (i > 0 && !(table.times[i] > table.times[i - 1])) {
            r.fail(&node, key, place(i) + ": times must increase");
        }
    }
}

// The fields of the source kinds that are not in the unit of the port they drive.
struct FieldUnit {
    std::string_view kind, field, si;
};
constexpr FieldUnit field_units[] = {
    {"step", "time", "s"},
    {"ramp", "start_time", "s"},
    {"ramp", "slope", "1"}, // the port's unit per second: no text unit
    {"sine", "period", "s"},
    {"sine", "phase", "rad"},
    {"table", "times", "s"},
    {"pi", "setpoint", ""}, // in the measured port's unit
    {"pi", "kp", "1"},
    {"pi", "ki", "1"},
    {"sea", "hs", "m"},
    {"sea", "tp", "s"},
    {"sea", "gamma", "1"},
    {"sea", "seed", "1"},
    {"sea", "components", "1"},
    {"sea", "ramp", "s"},
    {"noise", "bandwidth", "1/s"},
    {"noise", "seed", "1"},
    {"noise", "components", "1"},
};

// What one source kind's parser gets: the reader, the kind and its body, its key, the folder of
// relative table files and the unit of the port it drives.
struct SourceBody {
    const Reader& r;
    std::string_view kind;
    const toml::node& node;
    const std::string& key;
    const std::string& base_dir;
    std::string_view unit;
    const toml::table& table(std::initializer_list<const char*> allowed) const {
        const auto& t = r.table(node, key);
        r.onlyKeys(t, key, allowed);
        return t;
    }
    std::string_view unitOf(const char* name) const { return sourceFieldUnit(kind, name, unit); }
    double required(const toml::table& t, const char* name) const {
        return requiredNumber(r, t, key, name, unitOf(name));
    }
    double optional(const toml::table& t, const char* name, double fallback) const {
        return optionalNumber(r, t, key, name, fallback, unitOf(name));
    }
};

Source parseConstant(const SourceBody& b) {
    return {source::Constant{b.r.number(b.node, b.key, b.unit)}};
}

Source parseStep(const SourceBody& b) {
    const auto& t = b.table({"time", "before", "after"});
    source::Step s;
    s.time = b.required(t, "time");
    s.before = b.optional(t, "before", 0);
    s.after = b.required(t, "after");
    return {s};
}

Source parseRamp(const SourceBody& b) {
    const auto& t = b.table({"start_time", "slope", "initial"});
    source::Ramp s;
    s.start_time = b.optional(t, "start_time", 0);
    s.slope = b.required(t, "slope");
    s.initial = b.optional(t, "initial", 0);
    return {s};
}

Source parseSine(const SourceBody& b) {
    const auto& t = b.table({"amplitude", "period", "phase", "offset"});
    source::Sine s;
    s.amplitude = b.required(t, "amplitude");
    s.period = b.required(t, "period");
    if (!(s.period > 0)) b.r.fail(&t, b.key + ".period", "must be positive");
    s.phase = b.optional(t, "phase", 0);
    s.offset = b.optional(t, "offset", 0);
    return {s};
}

// How a table goes from one row to the next.
constexpr std::pair<std::string_view, bool> interpolations[] = {{"linear", false},
                                                                {"previous", true}};

Source parseTable(const SourceBody& b) {
    const auto& t = b.table({"file", "times", "values", "interpolation"});
    source::Table s;
    if (const toml::node* node = t.get("interpolation")) {
        const std::string name = b.r.text(*node, b.key + ".interpolation");
        const auto known = std::find_if(std::begin(interpolations), std::end(interpolations),
                                        [&](const auto& entry) { return entry.first == name; });
        if (known == std::end(interpolations)) {
            b.r.fail(node, b.key + ".interpolation",
                     "must be " + choiceList(interpolations, firstOf, "\""));
        }
        s.hold = known->second;
    }
    RowPlaces places;
    if (const toml::node* file = t.get("file")) {
        std::filesystem::path path = b.r.text(*file, b.key + ".file");
        if (path.is_relative()) path = std::filesystem::path(b.base_dir) / path;
        places = readTableFile(b.r, *file, b.key + ".file", path.string(), b.unit, s);
    } else {
        const toml::node* times = t.get("times");
        const toml::node* values = t.get("values");
        if (!times || !values) b.r.fail(&t, b.key, "needs \"file\" or \"times\" and \"values\"");
        s.times = b.r.numbers(*times, b.key + ".times", b.unitOf("times"));
        s.values = b.r.numbers(*values, b.key + ".values", b.unit);
    }
    checkTable(b.r, b.node, b.key, s, places);
    return {s};
}

Source parseSum(const SourceBody& b) {
    if (!b.node.is_array()) b.r.fail(&b.node, b.key, "must be a list of sources");
    source::Sum s;
    const auto& terms = *b.node.as_array();
    for (size_t i = 0; i < terms.size(); ++i) {
        s.terms.push_back(
            parseSource(b.r, terms[i], b.key + "[" + std::to_string(i) + "]", b.base_dir, b.unit));
    }
    return {s};
}

Source parseConnection(const SourceBody& b) {
    return {source::Connection{parsePortRef(b.r, b.node, b.key)}};
}

Source parseHold(const SourceBody& b) { return {source::Hold{parsePortRef(b.r, b.node, b.key)}}; }

Source parsePi(const SourceBody& b) {
    const auto& t = b.table({"measure", "setpoint", "kp", "ki", "min", "max", "bias", "bias_from"});
    source::Pi s;
    const toml::node* measure = t.get("measure");
    if (!measure) b.r.fail(&t, b.key, "needs \"measure\"");
    s.measure = parsePortRef(b.r, *measure, b.key + ".measure");
    s.setpoint = b.required(t, "setpoint");
    s.kp = b.optional(t, "kp", 0);
    s.ki = b.optional(t, "ki", 0);
    s.min = b.optional(t, "min", -1e300);
    s.max = b.optional(t, "max", 1e300);
    if (!(s.min <= s.max)) b.r.fail(&t, b.key, "min must not exceed max");
    s.bias = b.optional(t, "bias", 0);
    if (const toml::node* from = t.get("bias_from")) {
        s.bias_from = parsePortRef(b.r, *from, b.key + ".bias_from");
    }
    return {s};
}

// A whole number from `low` to `high`.
long wholeNumber(const SourceBody& b, const toml::table& t, const char* name, double fallback,
                 double low, double high) {
    const double value = b.optional(t, name, fallback);
    if (!(value >= low && value <= high) || value != std::floor(value)) {
        std::ostringstream rule;
        rule << "must be a whole number from " << low << " to " << high;
        b.r.fail(t.get(name), b.key + "." + name, rule.str());
    }
    return static_cast<long>(value);
}

void positive(const SourceBody& b, const toml::table& t, const char* name, double value) {
    if (!(value > 0)) b.r.fail(t.get(name), b.key + "." + name, "must be positive");
}

constexpr std::pair<std::string_view, source::Sea::Spectrum> spectra[] = {
    {"jonswap", source::Sea::Spectrum::jonswap},
    {"pierson_moskowitz", source::Sea::Spectrum::pierson_moskowitz},
};

Source parseSea(const SourceBody& b) {
    const auto& t = b.table({"spectrum", "hs", "tp", "gamma", "seed", "components", "ramp"});
    source::Sea s;
    const toml::node* spectrum = t.get("spectrum");
    if (!spectrum) b.r.fail(&t, b.key, "needs \"spectrum\" (jonswap or pierson_moskowitz)");
    const std::string name = b.r.text(*spectrum, b.key + ".spectrum");
    const auto known = std::find_if(std::begin(spectra), std::end(spectra),
                                    [&](const auto& entry) { return entry.first == name; });
    if (known == std::end(spectra)) {
        b.r.fail(spectrum, b.key + ".spectrum", "must be jonswap or pierson_moskowitz");
    }
    s.spectrum = known->second;
    s.hs = b.required(t, "hs");
    positive(b, t, "hs", s.hs);
    s.tp = b.required(t, "tp");
    positive(b, t, "tp", s.tp);
    if (t.get("gamma") && s.spectrum != source::Sea::Spectrum::jonswap) {
        b.r.fail(t.get("gamma"), b.key + ".gamma", "belongs to the jonswap spectrum");
    }
    // Pierson-Moskowitz is the JONSWAP spectrum without peak enhancement.
    s.gamma = s.spectrum == source::Sea::Spectrum::jonswap ? b.optional(t, "gamma", 3.3) : 1.0;
    if (!(s.gamma >= 1 && s.gamma <= 20)) {
        b.r.fail(t.get("gamma"), b.key + ".gamma", "must be from 1 to 20");
    }
    s.seed = static_cast<std::uint64_t>(wholeNumber(b, t, "seed", 0, 0, 9007199254740991.0));
    s.components = static_cast<int>(wholeNumber(b, t, "components", s.components, 1, 10000));
    s.ramp = b.optional(t, "ramp", 0);
    if (!(s.ramp >= 0)) b.r.fail(t.get("ramp"), b.key + ".ramp", "must not be negative");
    return {s};
}

Source parseNoise(const SourceBody& b) {
    const auto& t = b.table({"std", "bandwidth", "seed", "components"});
    source::Noise s;
    s.std = b.required(t, "std");
    if (!(s.std >= 0)) b.r.fail(t.get("std"), b.key + ".std", "must not be negative");
    s.bandwidth = b.required(t, "bandwidth");
    positive(b, t, "bandwidth", s.bandwidth);
    s.seed = static_cast<std::uint64_t>(wholeNumber(b, t, "seed", 0, 0, 9007199254740991.0));
    s.components = static_cast<int>(wholeNumber(b, t, "components", s.components, 1, 10000));
    return {s};
}

// Every source kind a scenario can name, with its parser.
struct SourceSyntax {
    std::string_view key;
    Source (*parse)(const SourceBody&);
};
constexpr SourceSyntax source_syntax[] = {
    {"constant", &parseConstant}, {"step", &parseStep},   {"ramp", &parseRamp},
    {"sine", &parseSine},         {"table", &parseTable}, {"sum", &parseSum},
    {"from", &parseConnection},   {"hold", &parseHold},   {"pi", &parsePi},
    {"sea", &parseSea},           {"noise", &parseNoise},
};

std::string sourceKeys() {
    std::string keys;
    for (const auto& syntax : source_syntax) {
        keys += (keys.empty() ? "" : ", ") + std::string(syntax.key);
    }
    return keys;
}

Source parseSourceTable(const Reader& r, const toml::table& t, const std::string& key,
                        const std::string& base_dir, std::string_view unit) {
    if (t.size() != 1) r.fail(&t, key, "must hold exactly one of " + sourceKeys());
    const auto entry = t.begin();
    const std::string kind(entry->first.str());
    const toml::node& body = entry->second;
    const std::string sub = key + "." + kind;
    for (const auto& syntax : source_syntax) {
        if (syntax.key == kind) return syntax.parse({r, syntax.key, body, sub, base_dir, unit});
    }
    r.fail(&body, sub, "unknown source kind (" + sourceKeys() + ")");
}

} // namespace

std::string_view sourceFieldUnit(std::string_view kind, std::string_view field,
                                 std::string_view port_unit) {
    for (const auto& f : field_units) {
        if (f.kind == kind && f.field == field) return f.si;
    }
    return port_unit;
}

Source parseSource(const Reader& r, const toml::node& node, const std::string& key,
                   const std::string& base_dir, std::string_view unit) {
    if (node.is_number() || node.is_string()) return {source::Constant{r.number(node, key, unit)}};
    if (node.is_table()) return parseSourceTable(r, *node.as_table(), key, base_dir, unit);
    r.fail(&node, key, "must be a number or a source table");
}

} // namespace tavrel::sim
