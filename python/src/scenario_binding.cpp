// tavrel.Scenario: a study loaded from a scenario file or the embedded default, parsed and
// validated by the host library, with dialog parameters overridden by name.
#include "bindings.h"
#include "conversions.h"

#include "block_catalog.h"
#include "scenario.h"

#include <pybind11/stl.h>

#include <cmath>

namespace tavrel::python {

namespace {

using sim::Scenario;
using sim::SolverKind;

SolverKind solverKindOf(const std::string& name) {
    if (const auto kind = sim::solverKind(name)) return *kind;
    throw py::value_error(std::string("solver must be ") + sim::solver_choices + ", not \"" + name + "\"");
}

// A setter that keeps a scenario setting positive and finite, as the scenario file's rules do.
auto positiveSetter(double Scenario::*member, const char* name) {
    return [member, name](Scenario& s, double value) {
        if (!(value > 0) || !std::isfinite(value)) {
            throw py::value_error(std::string(name) + " must be positive and finite");
        }
        s.*member = value;
    };
}

auto positiveSolverSetter(double sim::SolverSettings::*member, const char* name) {
    return [member, name](Scenario& s, double value) {
        if (!(value > 0) || !std::isfinite(value)) {
            throw py::value_error(std::string(name) + " must be positive and finite");
        }
        s.solver.*member = value;
    };
}

py::object paramValue(const ParamDescription& info, const std::vector<double>& values) {
    if (!info.isVector() && values.size() == 1) return py::float_(values[0]);
    return py::cast(values);
}

// The block's parameters by name (vector parameters as lists); slots it ignores are left out.
py::dict params(const Scenario& s, const std::string& block_name) {
    const auto& block = s.block(block_name);
    py::dict d;
    const BlockDescription* kind = &block.description();
    for (size_t k = 0; kind && k < kind->params.size() && k < block.params.size(); ++k) {
        if (kind->params[k].name.empty()) continue;
        d[py::str(std::string(kind->params[k].name))] = paramValue(kind->params[k], block.params[k]);
    }
    return d;
}

std::vector<std::string> blockNames(const Scenario& s) {
    std::vector<std::string> names;
    for (const auto& b : s.blocks) names.push_back(b.name);
    return names;
}

} // namespace

void bindScenario(py::module_& m) {
    py::class_<Scenario>(m, "Scenario", R"doc(
A study: blocks with their plug-ins and parameters, input sources, solver settings, duration,
output interval and logged columns. Scenario.load(path) reads a scenario file,
Scenario.default() the embedded default; both are validated completely on loading.)doc")
        .def_static("load", &Scenario::load, py::arg("path"), "Reads and validates a scenario file.")
        .def_static("default", &Scenario::builtInDefault, "The embedded default scenario.")
        .def("copy", [](const Scenario& s) { return s; }, "An independent copy.")
        .def("__copy__", [](const Scenario& s) { return s; })
        .def("__deepcopy__", [](const Scenario& s, const py::object&) { return s; }, py::arg("memo"))
        .def_static("parse", &Scenario::parse, py::arg("text"),
                    py::arg("source_name") = "<text>", py::arg("base_dir") = ".",
                    "Parses scenario text; relative table files are read from base_dir.")
        .def(
            "set",
            [](Scenario& s, const std::string& block, const std::string& param,
               const py::object& value) {
                s.set(block, param, paramValues(value, block + "." + param));
            },
            py::arg("block"), py::arg("param"), py::arg("value"),
            "Overrides one dialog parameter by name and validates the block again; on an error "
            "the scenario keeps its previous value.")
        .def("get",
             [](const Scenario& s, const std::string& block, const std::string& param) {
                 py::dict all = params(s, block);
                 if (!all.contains(param)) {
                     throw py::key_error("\"" + param + "\" is not a parameter of block " + block);
                 }
                 return py::object(all[py::str(param)]);
             },
             py::arg("block"), py::arg("param"))
        .def("params", &params, py::arg("block"), "The block's dialog parameters by name.")
        .def_property_readonly("blocks", &blockNames, "Instance names of the blocks.")
        .def("block_kind", [](const Scenario& s, const std::string& b) { return s.block(b).kind; },
             py::arg("block"), "The deliverable a block instance runs.")
        .def_readonly("source_name", &Scenario::source_name)
        .def_property("duration", [](const Scenario& s) { return s.duration; },
                      positiveSetter(&Scenario::duration, "duration"), "Simulated time [s].")
        .def_property("output_interval", [](const Scenario& s) { return s.output_interval; },
                      positiveSetter(&Scenario::output_interval, "output_interval"),
                      "Time between logged rows [s].")
        .def_property(
            "start_time", [](const Scenario& s) { return s.start_time; },
            [](Scenario& s, double t) {
                if (!std::isfinite(t)) throw py::value_error("start_time must be finite");
                s.start_time = t;
            },
            "Time of the first logged row [s].")
        .def_property(
            "solver", [](const Scenario& s) { return sim::solverName(s.solver.kind); },
            [](Scenario& s, const std::string& name) { s.solver.kind = solverKindOf(name); },
            "dormand_prince (adaptive explicit), bdf (stiff) or fixed_step.")
        .def_property("rtol", [](const Scenario& s) { return s.solver.rtol; },
                      positiveSolverSetter(&sim::SolverSettings::rtol, "rtol"))
        .def_property("atol", [](const Scenario& s) { return s.solver.atol; },
                      positiveSolverSetter(&sim::SolverSettings::atol, "atol"))
        .def_property("fixed_step", [](const Scenario& s) { return s.solver.fixed_step; },
                      positiveSolverSetter(&sim::SolverSettings::fixed_step, "fixed_step"))
        .def_property(
            "max_step", [](const Scenario& s) { return s.solver.max_step; },
            [](Scenario& s, double h) {
                if (!(h >= 0) || !std::isfinite(h)) {
                    throw py::value_error("max_step must be finite and not negative (0: no limit)");
                }
                s.solver.max_step = h;
            },
            "Largest solver step [s]; 0 for no limit.")
        .def_readonly("log", &Scenario::log, "Patterns of the logged columns (empty: all).")
        .def("__repr__", [](const Scenario& s) {
            std::string names;
            for (const auto& b : s.blocks) names += (names.empty() ? "" : ", ") + b.name;
            return "<tavrel.Scenario " + s.source_name + ": " + names + ", " +
                   std::to_string(s.duration) + " s>";
        });

    m.def("default_scenario_text", &sim::defaultScenarioText,
          "The embedded default scenario's file text.");
}

} // namespace tavrel::python
