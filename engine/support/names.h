// The one rule for every name a user gives that becomes part of a column, a key, a variable, a
// file or a page (block names, the entries of description files): letters, digits and _, not
// starting with a digit, so that "block.port" and study keys split at their dots, and nothing
// in a CSV header, a MAT variable or a report can be read as anything but a name.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

// " (did you mean NAME?)" for the candidate nearest to a misspelt `given` (a few letters
// swapped, dropped or added), or empty when none is near.
inline std::string didYouMean(const std::string& given,
                              const std::vector<std::string>& candidates) {
    // Edits between the two names, a swap of neighbouring letters counting as one.
    auto distance = [](const std::string& a, const std::string& b) {
        std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
        for (size_t i = 0; i <= a.size(); ++i)
            d[i][0] = i;
        for (size_t j = 0; j <= b.size(); ++j)
            d[0][j] = j;
        for (size_t i = 1; i <= a.size(); ++i) {
            for (size_t j = 1; j <= b.size(); ++j) {
                d[i][j] = std::min(
                    {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
                }
            }
        }
        return d[a.size()][b.size()];
    };
    const size_t limit = std::clamp<size_t>(given.size() / 3, 1, 3);
    const std::string* best = nullptr;
    size_t best_distance = limit + 1;
    for (const auto& c : candidates) {
        const size_t d = distance(given, c);
        if (d < best_distance) {
            best = &c;
            best_distance = d;
        }
    }
    return best ? " (did you mean " + *best + "?)" : "";
}

} // namespace tavrel
