// Reads a TOML document table by table, naming file, line and key in every error. Scenario and
// study files share it; each throws its own error type.
#pragma once

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel::sim {

template <class Error>
class TomlReader {
public:
    explicit TomlReader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void fail(const toml::node* node, const std::string& key,
                           const std::string& rule) const {
        std::ostringstream message;
        message << source_;
        if (node && node->source().begin.line > 0) message << ':' << node->source().begin.line;
        message << ": " << key << ": " << rule;
        throw Error(message.str());
    }

    double number(const toml::node& node, const std::string& key) const {
        if (auto v = node.value<double>()) {
            if (!std::isfinite(*v)) fail(&node, key, "must be a finite number");
            return *v;
        }
        fail(&node, key, "must be a number");
    }

    std::vector<double> numbers(const toml::node& node, const std::string& key) const {
        if (node.is_array()) {
            std::vector<double> values;
            const auto& array = *node.as_array();
            for (size_t i = 0; i < array.size(); ++i) {
                values.push_back(number(array[i], key + "[" + std::to_string(i) + "]"));
            }
            return values;
        }
        return {number(node, key)};
    }

    std::string text(const toml::node& node, const std::string& key) const {
        if (auto v = node.value<std::string>()) return *v;
        fail(&node, key, "must be a text");
    }

    const toml::table& table(const toml::node& node, const std::string& key) const {
        if (!node.is_table()) fail(&node, key, "must be a table");
        return *node.as_table();
    }

    // Fails on any key of `t` outside `allowed`.
    void onlyKeys(const toml::table& t, const std::string& key,
                  std::initializer_list<const char*> allowed) const {
        for (const auto& [name, node] : t) {
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                                           [&key_name = name](const char* a) {
                                               return key_name.str() == a;
                                           });
            if (!known) fail(&node, key + "." + std::string(name.str()), "unknown key");
        }
    }

    const std::string& source() const { return source_; }

private:
    std::string source_;
};

} // namespace tavrel::sim
