// A measured series for a misfit metric: a CSV file whose first column is time [s] and one of
// whose other columns holds the record of a logged signal, e.g.
//     time [s],bottom_pressure [Pa]
//     0,4.123e7
#pragma once

#include <string>
#include <vector>

namespace tavrel::study {

struct MeasuredSeries {
    std::string path;
    std::vector<double> times;  // strictly increasing, finite
    std::vector<double> values; // finite

    // Linear interpolation at `time` inside [times.front(), times.back()]; `hint` is the index
    // of the last interval used (rows come in time order, so the search rarely moves far).
    double at(double time, size_t& hint) const;
    bool covers(double time) const { return time >= times.front() && time <= times.back(); }
};

// Reads the series of `column` ("block.port", matched by its port name or in full against the
// headings without their units; the only column after time when there are two). Throws
// std::invalid_argument naming the file, the line and what is wrong.
MeasuredSeries readMeasured(const std::string& path, const std::string& column);

} // namespace tavrel::study
