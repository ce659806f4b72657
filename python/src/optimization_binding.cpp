// tavrel._tavrel.Optimization: an optimisation file, validated, and the studies of the batches of
// points its search asks for (tavrel.optimize drives the search with SciPy); EvaluationLog: the
// folder the search's evaluations and outcome are written to.
#include "bindings.h"

#include "evaluation_log.h"
#include "optimization.h"

#include <pybind11/stl.h>

namespace tavrel::python {

using study::Evaluation;
using study::EvaluationLog;
using study::Optimization;

void bindOptimization(py::module_& m) {
    py::class_<Optimization>(m, "Optimization", "An optimisation file and its base scenario.")
        .def_static("load", &Optimization::load, py::arg("path"),
                    "Reads and validates an optimisation file and its base scenario.")
        .def_property_readonly("name", [](const Optimization& o) { return o.source().name; })
        .def_property_readonly("fingerprint", &Optimization::fingerprint)
        .def_property_readonly("keys",
                               [](const Optimization& o) {
                                   std::vector<std::string> keys;
                                   for (const auto& b : o.vary())
                                       keys.push_back(b.key);
                                   return keys;
                               })
        .def_property_readonly("bounds",
                               [](const Optimization& o) {
                                   std::vector<std::pair<double, double>> bounds;
                                   for (const auto& b : o.vary())
                                       bounds.emplace_back(b.lower, b.upper);
                                   return bounds;
                               })
        .def_property_readonly("start",
                               [](const Optimization& o) {
                                   std::vector<double> start;
                                   for (const auto& b : o.vary())
                                       start.push_back(b.start);
                                   return start;
                               })
        .def_property_readonly("objectives", &Optimization::objectives)
        .def_property_readonly("weights", &Optimization::weights)
        .def_property_readonly("constraints",
                               [](const Optimization& o) {
                                   std::vector<py::tuple> out;
                                   for (const auto& c : o.constraints())
                                       out.push_back(
                                           py::make_tuple(c.text, c.metric, c.at_most, c.limit));
                                   return out;
                               })
        .def_property_readonly("metrics", &Optimization::metrics)
        .def_property_readonly("method",
                               [](const Optimization& o) { return study::methodName(o.method()); })
        .def_property_readonly("max_evaluations", &Optimization::maxEvaluations)
        .def_property_readonly("seed", &Optimization::seed)
        .def_property_readonly("population", &Optimization::population)
        .def("batch", &Optimization::batch, py::arg("points"),
             "A study with one case per point (a value per key each).");

    py::class_<EvaluationLog>(m, "EvaluationLog",
                              "An optimisation's folder: evaluations.csv, result.json, best.toml.")
        .def(py::init<const Optimization&, std::string, bool, bool>(), py::arg("optimization"),
             py::arg("folder"), py::arg("resume") = false, py::arg("progress") = false,
             py::keep_alive<1, 2>())
        .def_property_readonly("columns", &EvaluationLog::columns)
        .def_property_readonly("best", &EvaluationLog::best, "The best evaluation's number, or -1.")
        .def_property_readonly(
            "kept",
            [](const EvaluationLog& log) {
                std::vector<py::tuple> rows;
                for (const auto& e : log.evaluations())
                    rows.push_back(py::make_tuple(e.point, e.metrics, e.status, e.error));
                return rows;
            },
            "The evaluations there so far: (point, metrics, status, error) each.")
        .def(
            "append",
            [](EvaluationLog& log, std::vector<double> point, double objective,
               std::vector<double> metrics, std::string status, std::string error) {
                log.append({std::move(point), objective, std::move(metrics), std::move(status),
                            std::move(error)});
            },
            py::arg("point"), py::arg("objective"), py::arg("metrics"), py::arg("status"),
            py::arg("error"))
        .def("write_state", &EvaluationLog::writeState, py::arg("converged"), py::arg("message"),
             py::arg("stopped"))
        .def("write_best", &EvaluationLog::writeBest)
        .def("show_progress", &EvaluationLog::showProgress)
        .def("close_progress", &EvaluationLog::closeProgress);
}

} // namespace tavrel::python
