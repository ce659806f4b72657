#include "measured.h"

#include "bounded_file.h"
#include "units.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavrel::study {

namespace {

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) {
        const auto first = field.find_first_not_of(" \t\r");
        const auto last = field.find_last_not_of(" \t\r");
        out.push_back(first == std::string::npos ? "" : field.substr(first, last - first + 1));
    }
    return out;
}

// A heading without its unit: "bottom_pressure [Pa]" -> "bottom_pressure".
std::string headingName(const std::string& heading) {
    std::string name = heading.substr(0, heading.find('['));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

// The factor of a heading's unit ("time [min]") to `si` (to its SI unit when `si` is empty);
// 1 without one. A unit that cannot be converted is refused, never read as SI.
double headingFactor(const std::string& heading, std::string_view si, const std::string& where) {
    const auto open = heading.rfind('[');
    if (heading.empty() || heading.back() != ']' || open == std::string::npos) return 1;
    const std::string unit = heading.substr(open + 1, heading.size() - open - 2);
    std::string error;
    if (const auto factor = parseQuantity("1 " + unit, si, error)) return *factor;
    throw std::invalid_argument(where + ": column \"" + heading + "\": " + error);
}

bool parseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

size_t pickColumn(const std::vector<std::string>& headings, const std::string& column,
                  const std::string& where) {
    const std::string port = column.substr(column.find('.') + 1);
    for (size_t i = 1; i < headings.size(); ++i) {
        const std::string name = headingName(headings[i]);
        if (name == port || name == column) return i;
    }
    if (headings.size() == 2) return 1;
    throw std::invalid_argument(
        where + ": no column \"" + port + "\" (headings without units " +
        "must name the logged column's port, or only one series follows time)");
}

} // namespace

double MeasuredSeries::at(double time, size_t& hint) const {
    if (hint + 1 >= times.size() || times[hint] > time) hint = 0;
    while (hint + 2 < times.size() && times[hint + 1] < time)
        ++hint;
    if (times.size() == 1) return values[0];
    const double t0 = times[hint], t1 = times[hint + 1];
    const double share = (time - t0) / (t1 - t0);
    return values[hint] + share * (values[hint + 1] - values[hint]);
}

MeasuredSeries readMeasured(const std::string& path, const std::string& column) {
    std::istringstream in;
    try {
        in.str(readBoundedFile(path, measured_file_limits));
    } catch (const FileLimitError& error) {
        throw std::invalid_argument(error.what());
    }
    MeasuredSeries series;
    series.path = path;
    std::string line;
    int line_number = 0;
    size_t picked = 0;
    double time_factor = 1, value_factor = 1;
    while (std::getline(in, line)) {
        ++line_number;
        if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
        const std::string where = path + ":" + std::to_string(line_number);
        const auto cells = fields(line);
        if (picked == 0) { // the heading line
            if (cells.size() < 2)
                throw std::invalid_argument(where + ": needs a time column and a series");
            picked = pickColumn(cells, column, where);
            time_factor = headingFactor(cells[0], "s", where);
            value_factor = headingFactor(cells[picked], "", where);
            continue;
        }
        double time = 0, value = 0;
        if (cells.size() <= picked || !parseNumber(cells[0], time) ||
            !parseNumber(cells[picked], value)) {
            throw std::invalid_argument(where + ": not a row of numbers");
        }
        if (!std::isfinite(time) || !std::isfinite(value)) {
            throw std::invalid_argument(where + ": not finite");
        }
        time *= time_factor;
        if (!series.times.empty() && !(time > series.times.back())) {
            throw std::invalid_argument(where + ": times must increase");
        }
        series.times.push_back(time);
        series.values.push_back(value * value_factor);
    }
    if (series.times.empty()) throw std::invalid_argument(path + ": no measured rows");
    return series;
}

} // namespace tavrel::study
