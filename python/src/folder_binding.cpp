// The result-folder facility for the Python layer: whole files that take their name only when
// complete, CSV tables in the shortest number spelling, and the progress bar of the study
// runner, so that what the package writes and shows is written and shown as the engine does.
#include "bindings.h"

#include "exact_number.h"
#include "progress_bar.h"
#include "result_folder.h"
#include "units.h"

#include <pybind11/stl.h>

namespace tavrel::python {

void bindFolders(py::module_& m) {
    m.def(
        "write_file",
        [](const std::string& path, const std::string& text) {
            ResultFolder::writeFile(path, text);
            return path;
        },
        py::arg("path"), py::arg("text"),
        "Writes `text` as the whole file `path` (a part file renamed when complete).");
    m.def(
        "write_columns",
        [](const std::string& path, const std::vector<std::string>& names,
           const py::list& columns) {
            std::vector<std::vector<std::string>> lines = {names};
            for (size_t c = 0; c < names.size(); ++c) {
                size_t r = 1;
                for (const auto& value : columns[c]) {
                    if (lines.size() <= r) lines.emplace_back(names.size());
                    lines[r++][c] = py::isinstance<py::str>(value)
                                        ? value.cast<std::string>()
                                        : shortestNumber(value.cast<double>());
                }
            }
            writeCsvTable(path, lines);
        },
        py::arg("path"), py::arg("names"), py::arg("columns"),
        "Writes columns of equal length (numbers or texts) as a whole CSV file, each number in "
        "its shortest exact spelling.");

    m.def(
        "display_units",
        [] {
            std::vector<std::tuple<std::string, std::string, double>> rows;
            for (const auto& d : displayUnits())
                rows.emplace_back(d.si, d.shown, d.size);
            return rows;
        },
        "The display units: (SI unit, shown unit, SI units in one shown unit) each, as the "
        "summary shows them.");

    m.def("number_text", &shortestNumber, py::arg("value"),
          "The shortest text that reads back to the same double, as the engine's files spell it.");

    py::class_<study::ProgressBar>(m, "ProgressBar", "The study runner's progress bar.")
        .def(py::init<bool, size_t, size_t>(), py::arg("on"), py::arg("total"), py::arg("done"))
        .def("update", &study::ProgressBar::update, py::arg("done"), py::arg("failed"))
        .def("close", &study::ProgressBar::close);
}

} // namespace tavrel::python
