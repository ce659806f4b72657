// The units a user may write a value in ("20 bar", "12 s", "3 m", "1.3 sg"), each with the SI
// unit of its quantity and the factor to it; files and the blocks hold SI. A value in a unit of
// another quantity than the one expected is refused, never converted.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// The factor from `written` to `si` (bar to Pa: 1e5); nullopt when `written` is not a unit of
// that quantity. A unit outside the table converts only to itself.
std::optional<double> unitFactor(std::string_view written, std::string_view si);

// "20 bar" as a value in `si`; on failure nullopt, and `error` says why.
std::optional<double> parseQuantity(std::string_view text, std::string_view si, std::string& error);

// What a unit measures ("pressure" for Pa and bar), or empty for one outside the table.
std::string quantityOf(std::string_view unit);

// How a person reads a quantity: pressure in bar, flow in L/min, density in kg/m³, angle in °
// (length in m and time in s as they are). `size` is how many SI units one shown unit holds
// (bar: 1e5 Pa): shown value = SI value / size. Files keep SI; the summary, the figures, the
// pages and printed results show these.
struct DisplayUnit {
    std::string si;
    std::string shown;
    double size = 1;
};
// An SI unit's display unit; one without a row is shown as it is.
DisplayUnit displayUnit(std::string_view si);
// Every row, for the Python package's figures.
std::vector<DisplayUnit> displayUnits();

} // namespace tavrel
