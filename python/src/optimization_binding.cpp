// tavrel._tavrel.Optimization: an optimisation file, validated, and the studies of the batches of
// points its search asks for (tavrel.optimize drives the search with SciPy).
#include "bindings.h"

#include "optimization.h"

#include <pybind11/stl.h>

namespace tavrel::python {

using study::Optimization;

void bindOptimization(py::module_& m) {
    py::class_<Optimization>(m, "Optimization", "An optimisation file and its base scenario.")
        .def_static("load", &Optimization::load, py::arg("path"),
                    "Reads and validates an optimisation file and its base scenario.")
        .def_property_readonly("name", [](const Optimization& o) { return o.source().name; })
        .def_property_readonly("fingerprint", &Optimization::fingerprint)
        .def_property_readonly("keys", [](const Optimization& o) {
            std::vector<std::string> keys;
            for (const auto& b : o.vary()) keys.push_back(b.key);
            return keys;
        })
        .def_property_readonly("bounds", [](const Optimization& o) {
            std::vector<std::pair<double, double>> bounds;
            for (const auto& b : o.vary()) bounds.emplace_back(b.lower, b.upper);
            return bounds;
        })
        .def_property_readonly("start", [](const Optimization& o) {
            std::vector<double> start;
            for (const auto& b : o.vary()) start.push_back(b.start);
            return start;
        })
        .def_property_readonly("objectives", &Optimization::objectives)
        .def_property_readonly("weights", &Optimization::weights)
        .def_property_readonly("constraints", [](const Optimization& o) {
            std::vector<py::tuple> out;
            for (const auto& c : o.constraints()) out.push_back(py::make_tuple(c.text, c.metric, c.at_most, c.limit));
            return out;
        })
        .def_property_readonly("metrics", &Optimization::metrics)
        .def_property_readonly("method", [](const Optimization& o) { return study::methodName(o.method()); })
        .def_property_readonly("max_evaluations", &Optimization::maxEvaluations)
        .def_property_readonly("seed", &Optimization::seed)
        .def_property_readonly("population", &Optimization::population)
        .def("batch", &Optimization::batch, py::arg("points"),
             "A study with one case per point (a value per key each).");
}

} // namespace tavrel::python
