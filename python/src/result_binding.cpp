// Results of a run: time and logged columns as read-only numpy views over the host's rows,
// written to CSV and MAT files by the same sinks the command-line tool uses, and
// tavrel.simulate, which runs a whole scenario.
#include "bindings.h"
#include "conversions.h"
#include "result_data.h"

#include "simulation.h"

#include <pybind11/stl.h>

namespace tavrel::python {

void ResultData::replayInto(sim::ResultSink& sink) const { replay(*rows, sink); }

void replay(const sim::MemorySink& rows, sim::ResultSink& sink) {
    sink.begin(rows.columns());
    const size_t width = rows.columns().size();
    std::vector<double> values(width);
    const double* row = rows.rows().data();
    try {
        for (double time : rows.times()) {
            values.assign(row, row + width);
            sink.row(time, values);
            row += width;
        }
    } catch (...) {
        sink.end();
        throw;
    }
    sink.end();
}

ResultData snapshot(const sim::MemorySink& rows) {
    auto copy = std::make_shared<sim::MemorySink>();
    replay(rows, *copy);
    return {std::move(copy)};
}

namespace {

// Rows given as arrays (e.g. read back from a CSV file), so that they can be written again.
ResultData fromArrays(const std::vector<std::string>& names, const std::vector<std::string>& units,
                      const DoubleArray& time, const DoubleArray& values) {
    const auto n = time.size();
    const auto width = static_cast<py::ssize_t>(names.size());
    if (units.size() != names.size()) throw py::value_error("names and units differ in length");
    if (time.ndim() != 1 || values.ndim() != 2 || values.shape(0) != n ||
        values.shape(1) != width) {
        throw py::value_error("expected time of shape (n,) and values of shape (n, " +
                              std::to_string(width) + ")");
    }
    std::vector<sim::Column> columns;
    for (size_t i = 0; i < names.size(); ++i) {
        sim::Column column;
        column.name = names[i];
        column.unit = units[i];
        columns.push_back(std::move(column));
    }
    auto rows = std::make_shared<sim::MemorySink>();
    rows->begin(columns);
    std::vector<double> row(static_cast<size_t>(width));
    for (py::ssize_t i = 0; i < n; ++i) {
        if (width > 0) row.assign(values.data(i, 0), values.data(i, 0) + width);
        rows->row(time.at(i), row);
    }
    return {std::move(rows)};
}

void writeWith(const ResultData& data, sim::ResultSink& sink) {
    py::gil_scoped_release release;
    data.replayInto(sink);
}

py::object simulate(const sim::Scenario& scenario, bool profile) {
    const sim::Scenario own = scenario; // the caller's object may change while we run
    auto rows = std::make_shared<sim::MemorySink>();
    auto profile_rows = std::make_shared<sim::MemorySink>();
    std::string failure;
    {
        py::gil_scoped_release release;
        try {
            sim::runScenario(own, *rows, {}, {}, profile ? profile_rows.get() : nullptr);
        } catch (const sim::SimulationError& error) {
            failure = error.what();
        }
    }
    py::object result = py::cast(ResultData{rows});
    if (!failure.empty()) raiseSimulationError(failure, result);
    if (!profile) return result;
    return py::make_tuple(result, py::cast(ResultData{profile_rows}));
}

} // namespace

void bindResults(py::module_& m) {
    py::class_<ResultData>(m, "ResultData", "Logged rows of a run (see tavrel.Result).")
        .def_static("from_arrays", &fromArrays, py::arg("names"), py::arg("units"), py::arg("time"),
                    py::arg("values"))
        .def_property_readonly("names",
                               [](const ResultData& d) {
                                   std::vector<std::string> names;
                                   for (const auto& c : d.rows->columns())
                                       names.push_back(c.name);
                                   return names;
                               })
        .def_property_readonly("units",
                               [](const ResultData& d) {
                                   std::vector<std::string> units;
                                   for (const auto& c : d.rows->columns())
                                       units.push_back(c.unit);
                                   return units;
                               })
        .def_property_readonly(
            "time",
            [](py::object self) {
                const auto& d = self.cast<const ResultData&>();
                const auto n = static_cast<py::ssize_t>(d.rows->times().size());
                return readOnlyView(d.rows->times().data(), {n}, {sizeof(double)}, self);
            },
            "Output times [s] (a read-only view).")
        .def_property_readonly(
            "values",
            [](py::object self) {
                const auto& d = self.cast<const ResultData&>();
                const auto width = static_cast<py::ssize_t>(d.rows->columns().size());
                const auto n = static_cast<py::ssize_t>(d.rows->times().size());
                return readOnlyView(d.rows->rows().data(), {n, width},
                                    {width * py::ssize_t(sizeof(double)), sizeof(double)}, self);
            },
            "One row per output time, one column per logged signal (a read-only view).")
        .def(
            "to_csv",
            [](const ResultData& d, const std::string& path) {
                sim::CsvSink sink(path);
                writeWith(d, sink);
            },
            py::arg("path"), "Writes the rows as the command-line tool's CSV file.")
        .def(
            "to_mat",
            [](const ResultData& d, const std::string& path) {
                sim::MatSink sink(path);
                writeWith(d, sink);
            },
            py::arg("path"), "Writes the rows as the command-line tool's MAT file.");

    m.def("simulate", &simulate, py::arg("scenario"), py::arg("profile") = false,
          "Runs a whole scenario with the GIL released and returns its logged rows (with "
          "`profile`, and the pressure along the annulus at every row: a pair).");
}

} // namespace tavrel::python
