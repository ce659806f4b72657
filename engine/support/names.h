// The one rule for every name a user gives that becomes part of a column, a key, a variable, a
// file or a page (block names, the entries of description files): letters, digits and _, not
// starting with a digit, so that "block.port" and study keys split at their dots, and nothing
// in a CSV header, a MAT variable or a report can be read as anything but a name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel {

inline constexpr std::size_t max_name_length = 64;
inline constexpr const char* name_rule =
    "must be a name: letters, digits and _, not starting with a digit, at most 64 characters";

inline bool isName(std::string_view text) {
    auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (text.empty() || text.size() > max_name_length || !letter(text[0])) return false;
    for (char c : text) {
        if (!letter(c) && !(c >= '0' && c <= '9')) return false;
    }
    return true;
}

// A refused name as an error message shows it: cut short, control characters as '?'.
inline std::string shownName(std::string_view text) {
    constexpr std::size_t shown = 40;
    std::string out;
    for (char c : text.substr(0, shown))
        out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    return "\"" + out + (text.size() > shown ? "...\"" : "\"");
}

} // namespace tavrel
