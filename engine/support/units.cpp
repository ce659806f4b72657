#include "units.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace tavrel {

namespace {

struct UnitRow {
    std::string_view text; // as a user writes it
    std::string_view si;   // the SI unit of its quantity, as the blocks' descriptions name it
    double factor;         // to the SI unit
};

// The one table of written units. Density may be given as specific gravity (sg: water = 1).
constexpr UnitRow unit_rows[] = {
    {"Pa", "Pa", 1},
    {"kPa", "Pa", 1e3},
    {"MPa", "Pa", 1e6},
    {"bar", "Pa", 1e5},
    {"psi", "Pa", 6894.757293168361},
    {"s", "s", 1},
    {"ms", "s", 1e-3},
    {"min", "s", 60},
    {"h", "s", 3600},
    {"m", "m", 1},
    {"mm", "m", 1e-3},
    {"km", "m", 1e3},
    {"ft", "m", 0.3048},
    {"m2", "m2", 1},
    {"m²", "m2", 1},
    {"cm2", "m2", 1e-4},
    {"kg/m3", "kg/m3", 1},
    {"kg/m³", "kg/m3", 1},
    {"g/cm3", "kg/m3", 1e3},
    {"sg", "kg/m3", 1e3},
    {"m3/s", "m3/s", 1},
    {"m³/s", "m3/s", 1},
    {"L/min", "m3/s", 1e-3 / 60},
    {"L/s", "m3/s", 1e-3},
    {"m3/h", "m3/s", 1.0 / 3600},
    {"m/s", "m/s", 1},
    {"rad", "rad", 1},
    {"deg", "rad", std::numbers::pi / 180},
    {"°", "rad", std::numbers::pi / 180},
    {"rad/s", "rad/s", 1},
    {"Hz", "1/s", 1},
    {"1/s", "1/s", 1},
};

struct QuantityName {
    std::string_view si;
    std::string_view name;
};
constexpr QuantityName quantity_names[] = {
    {"Pa", "pressure"},  {"s", "time"},        {"m", "length"},
    {"m2", "area"},      {"kg/m3", "density"}, {"m3/s", "flow"},
    {"m/s", "velocity"}, {"rad", "angle"},     {"rad/s", "angular frequency"},
    {"1/s", "rate"},
};

// The display unit of each SI unit that has one; its size comes from the table of units.
constexpr std::pair<std::string_view, std::string_view> display_rows[] = {
    {"Pa", "bar"},
    {"m3/s", "L/min"},
    {"kg/m3", "kg/m³"},
    {"rad", "°"},
};

const UnitRow* rowOf(std::string_view unit) {
    for (const auto& row : unit_rows) {
        if (row.text == unit) return &row;
    }
    return nullptr;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "pressure [Pa]", or "[Pa]" for a unit outside the table, "a number" for none.
std::string described(std::string_view si) {
    if (si.empty() || si == "1") return "a plain number";
    const std::string quantity = quantityOf(si);
    return (quantity.empty() ? "" : "a " + quantity + " ") + "[" + std::string(si) + "]";
}

} // namespace

std::string quantityOf(std::string_view unit) {
    const UnitRow* row = rowOf(unit);
    const std::string_view si = row ? row->si : unit;
    for (const auto& q : quantity_names) {
        if (q.si == si) return std::string(q.name);
    }
    return "";
}

std::optional<double> unitFactor(std::string_view written, std::string_view si) {
    if (written == si) return 1.0;
    const UnitRow* row = rowOf(written);
    if (row && row->si == si) return row->factor;
    return std::nullopt;
}

std::optional<double> parseQuantity(std::string_view text, std::string_view si,
                                    std::string& error) {
    text = trimmed(text);
    double value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc() || !std::isfinite(value)) {
        error = "\"" + std::string(text) + "\" is not a number with a unit (\"20 bar\")";
        return std::nullopt;
    }
    const std::string_view unit = trimmed(text.substr(static_cast<size_t>(end - text.data())));
    if (const auto factor = unitFactor(unit, si)) return value * *factor;
    if (unit.empty() && (si.empty() || si == "1")) return value;
    // A value whose quantity is not known here (a plug-in's positional parameter) is still
    // held in SI, as every value is.
    if (const UnitRow* row = rowOf(unit); row && si.empty()) return value * row->factor;
    if (unit.empty()) {
        error = "\"" + std::string(text) + "\" needs a unit of " + described(si);
    } else if (!rowOf(unit) && unit != si) {
        error = "unknown unit \"" + std::string(unit) + "\" (expected " + described(si) + ")";
    } else {
        error = "\"" + std::string(text) + "\" is " + described(rowOf(unit)->si) + ", not " +
                described(si);
    }
    return std::nullopt;
}

DisplayUnit displayUnit(std::string_view si) {
    for (const auto& [unit, shown] : display_rows) {
        if (unit == si) return {std::string(si), std::string(shown), rowOf(shown)->factor};
    }
    return {std::string(si), std::string(si), 1};
}

std::vector<DisplayUnit> displayUnits() {
    std::vector<DisplayUnit> all;
    for (const auto& row : display_rows)
        all.push_back(displayUnit(row.first));
    return all;
}

} // namespace tavrel
