#include "description_file.h"

#include "block_descriptions.h"
#include "bounded_file.h"
#include "names.h"
#include "toml_reader.h"

#include <toml++/toml.h>

#include <filesystem>

namespace tavrel::host {

namespace {

class FileReader {
  public:
    explicit FileReader(std::string path) : path_(std::move(path)) {}

    [[noreturn]] void fail(const toml::node& node, const std::string& key,
                           const std::string& rule) const {
        throw HostError(path_ + ":" + std::to_string(node.source().begin.line) + ": " + key + ": " +
                        rule);
    }
    std::string text(const toml::table& t, const std::string& key, const char* name,
                     bool required) const {
        const toml::node* node = t.get(name);
        if (!node) {
            if (required) fail(t, key, std::string("needs \"") + name + "\"");
            return {};
        }
        if (auto v = node->value<std::string>()) return *v;
        fail(*node, key + "." + name, "must be a text");
    }
    // The tables of an array of tables `name` (none when it is absent).
    std::vector<const toml::table*> tables(const toml::table& root, const char* name) const {
        std::vector<const toml::table*> list;
        const toml::node* node = root.get(name);
        if (!node) return list;
        if (!node->is_array_of_tables()) fail(*node, name, "must be a list of tables ([[...]])");
        for (const auto& entry : *node->as_array())
            list.push_back(entry.as_table());
        return list;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

DefaultValues defaults(const FileReader& r, const toml::node& node, const std::string& key,
                       ParamShape& shape) {
    std::vector<double> values;
    shape = node.is_array() ? ParamShape::vector : ParamShape::scalar;
    if (auto v = node.value<double>()) values.push_back(*v);
    if (const toml::array* list = node.as_array()) {
        for (const auto& entry : *list) {
            auto v = entry.value<double>();
            if (!v) r.fail(entry, key, "must hold numbers");
            values.push_back(*v);
        }
    }
    if (values.empty() && shape == ParamShape::scalar)
        r.fail(node, key, "must be a number or a list");
    DefaultValues held;
    for (double v : values) {
        if (!held.add(v)) {
            r.fail(node, key,
                   "holds more than " + std::to_string(DefaultValues::capacity) + " values");
        }
    }
    return held;
}

// Scenarios, result columns and Python reach an entry by its name: it must be there and be
// unique in its list, or a second entry of that name could never be set, wired or told apart.
template <typename Entry>
std::string entryName(const FileReader& r, const toml::table& t, const std::string& key,
                      const char* list_name, const std::vector<Entry>& earlier) {
    const std::string name = r.text(t, key, "name", true);
    if (!isName(name)) r.fail(*t.get("name"), key + ".name", shownName(name) + " " + name_rule);
    for (size_t k = 0; k < earlier.size(); ++k) {
        if (earlier[k].name == name) {
            r.fail(*t.get("name"), key + ".name",
                   "\"" + name + "\" is already " + list_name + "[" + std::to_string(k) + "]");
        }
    }
    return name;
}

void readParams(const FileReader& r, const toml::table& root, OwnedDescription& d) {
    for (const toml::table* t : r.tables(root, "params")) {
        const std::string key = "params[" + std::to_string(d.params.size()) + "]";
        const std::string name = entryName(r, *t, key, "params", d.params);
        const toml::node* value = t->get("default");
        if (!value) r.fail(*t, key, "needs \"default\"");
        ParamShape shape = ParamShape::scalar;
        const DefaultValues held = defaults(r, *value, key + ".default", shape);
        d.params.push_back({static_cast<int>(d.params.size()), d.keep(name),
                            d.keep(r.text(*t, key, "unit", false)),
                            d.keep(r.text(*t, key, "meaning", false)), shape, held});
    }
}

template <typename Entry>
void readEntries(const FileReader& r, const toml::table& root, const char* list_name,
                 OwnedDescription& d, std::vector<Entry>& entries) {
    for (const toml::table* t : r.tables(root, list_name)) {
        const std::string key = std::string(list_name) + "[" + std::to_string(entries.size()) + "]";
        Entry entry{};
        entry.index = static_cast<int>(entries.size());
        entry.name = d.keep(entryName(r, *t, key, list_name, entries));
        entry.unit = d.keep(r.text(*t, key, "unit", false));
        entry.meaning = d.keep(r.text(*t, key, "meaning", false));
        entries.push_back(entry);
    }
}

// Rule kinds a file can name, and whether each refers to a second parameter or a count.
struct RuleSyntax {
    const char* key;
    ParamRule::Kind kind;
    bool other;
    bool count;
};
constexpr RuleSyntax rule_syntax[] = {
    {"positive", ParamRule::Kind::positive, false, false},
    {"not_negative", ParamRule::Kind::not_negative, false, false},
    {"above", ParamRule::Kind::above, true, false},
    {"entries_within", ParamRule::Kind::entries_within, true, false},
    {"min_entries", ParamRule::Kind::min_entries, false, true},
    {"table_from_zero", ParamRule::Kind::table_from_zero, false, true},
};

int paramOf(const FileReader& r, const OwnedDescription& d, const toml::table& t,
            const std::string& key, const char* name) {
    const std::string param = r.text(t, key, name, true);
    for (const auto& p : d.params) {
        if (p.name == param) return p.index;
    }
    r.fail(*t.get(name), key + "." + name, "no parameter \"" + param + "\"");
}

void readRules(const FileReader& r, const toml::table& root, OwnedDescription& d) {
    for (const toml::table* t : r.tables(root, "rules")) {
        const std::string key = "rules[" + std::to_string(d.rules.size()) + "]";
        const RuleSyntax* syntax = nullptr;
        for (const auto& s : rule_syntax) {
            if (t->contains(s.key)) syntax = &s;
        }
        if (!syntax) {
            r.fail(*t, key,
                   "names no rule (positive, not_negative, above, entries_within, "
                   "min_entries, table_from_zero)");
        }
        ParamRule rule{syntax->kind, paramOf(r, d, *t, key, syntax->key)};
        if (syntax->other) rule.other = paramOf(r, d, *t, key, "other");
        if (syntax->count) {
            const toml::node* given = t->get("count");
            const auto count = given ? sim::wholeValue(*given) : std::nullopt;
            if (!count || *count < 0 || *count > 1000000) {
                r.fail(*t, key + ".count", "needs a whole count");
            }
            rule.count = static_cast<int>(*count);
        }
        d.rules.push_back(rule);
    }
}

} // namespace

SharedDescription readDescriptionFile(const std::string& path, const std::string& block_name) {
    toml::table root;
    try {
        root = toml::parse(readBoundedFile(path, description_file_limits), path);
    } catch (const FileLimitError& error) {
        throw HostError(error.what());
    } catch (const toml::parse_error& error) {
        throw HostError(path + ":" + std::to_string(error.source().begin.line) + ": " +
                        std::string(error.description()));
    }
    const FileReader r(path);
    auto d = std::make_shared<OwnedDescription>();
    readParams(r, root, *d);
    readEntries(r, root, "inputs", *d, d->inputs);
    readEntries(r, root, "outputs", *d, d->outputs);
    readEntries(r, root, "states", *d, d->states);
    readRules(r, root, *d);
    d->seal(block_name, r.text(root, "description", "meaning", false));
    return share(std::move(d));
}

SharedDescription describePlugin(const std::string& plugin_path) {
    const std::filesystem::path path(plugin_path);
    const std::string name = path.stem().string();
    if (const BlockDescription* shipped = findDescription(name)) {
        return SharedDescription(SharedDescription(), shipped); // static: no owner
    }
    std::filesystem::path beside = path;
    beside.replace_extension(".toml");
    std::error_code error;
    if (!std::filesystem::is_regular_file(beside, error)) return nullptr;
    return readDescriptionFile(beside.string(), name);
}

} // namespace tavrel::host
