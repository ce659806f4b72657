// Reads a TOML document table by table, naming file, line and key in every error. Scenario and
// study files share it; each throws its own error type.
#pragma once

#include "names.h"
#include "units.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::sim {

// "A, B or C" (or "A, B, C" with `last` ", ") of the names of a table's entries, each between
// `quote`s, for the messages that list the choices: the table is the one list of them.
template <class Table, class Name>
std::string choiceList(const Table& table, Name name, const char* quote = "",
                       const char* last = " or ") {
    std::string text;
    for (size_t i = 0; i < std::size(table); ++i) {
        text += (i == 0 ? "" : i + 1 == std::size(table) ? last : ", ");
        text += quote + std::string(name(table[i])) + quote;
    }
    return text;
}

// A whole number as TOML holds it: an integer, or a float that is one and fits. toml++'s own
// value<int64_t>() converts a float without a range check (undefined for 1e300).
inline std::optional<std::int64_t> wholeValue(const toml::node& node) {
    if (const auto integer = node.value_exact<std::int64_t>()) return integer;
    const auto real = node.value_exact<double>();
    if (!real || !(*real >= -9.2e18 && *real <= 9.2e18) || *real != std::floor(*real)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*real);
}

template <class Error> class TomlReader {
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

    // Parses a whole document named by this reader's source; a syntax error names its line.
    toml::table document(const std::string& text) const {
        try {
            return toml::parse(text, source_);
        } catch (const toml::parse_error& error) {
            throw Error(source_ + ":" + std::to_string(error.source().begin.line) + ": " +
                        std::string(error.description()));
        }
    }

    // A number, or a text with a unit ("20 bar") read as a value in `si` (the SI unit the key
    // holds; empty for a plain number).
    double number(const toml::node& node, const std::string& key, std::string_view si = {}) const {
        if (const auto text = node.value_exact<std::string>()) {
            std::string error;
            if (const auto v = parseQuantity(*text, si, error)) return *v;
            fail(&node, key, error);
        }
        if (auto v = node.value<double>()) {
            if (!std::isfinite(*v)) fail(&node, key, "must be a finite number");
            return *v;
        }
        fail(&node, key, "must be a number");
    }

    std::vector<double> numbers(const toml::node& node, const std::string& key,
                                std::string_view si = {}) const {
        if (node.is_array()) {
            std::vector<double> values;
            const auto& array = *node.as_array();
            for (size_t i = 0; i < array.size(); ++i) {
                values.push_back(number(array[i], key + "[" + std::to_string(i) + "]", si));
            }
            return values;
        }
        return {number(node, key, si)};
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
            const bool known =
                std::any_of(allowed.begin(), allowed.end(),
                            [&key_name = name](const char* a) { return key_name.str() == a; });
            if (!known) {
                const std::string given(name.str());
                fail(&node, key + "." + given,
                     "unknown key" + didYouMean(given, std::vector<std::string>(allowed.begin(),
                                                                                allowed.end())));
            }
        }
    }

    const std::string& source() const { return source_; }

  private:
    std::string source_;
};

} // namespace tavrel::sim
