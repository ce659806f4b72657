// tavrel.Scenario: a study loaded from a scenario file or the embedded default, parsed and
// validated by the host library, with dialog parameters and [simulation] settings overridden by
// name under the same rules as the file's.
#include "bindings.h"
#include "conversions.h"

#include "block_catalog.h"
#include "plausibility.h"
#include "scenario.h"
#include "written_values.h"

#include <pybind11/stl.h>

namespace tavrel::python {

namespace {

using sim::Scenario;

// A [simulation] setting read and set by name; the scenario file's rules check it, and a refused
// value is a ValueError with the same words as the file's error.
template <class Value> py::cpp_function simulationSetter(const char* name) {
    return py::cpp_function([name](Scenario& s, const Value& value) {
        try {
            s.setSimulation(name, value);
        } catch (const sim::ScenarioError& error) {
            throw py::value_error(error.what());
        }
    });
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
        d[py::str(std::string(kind->params[k].name))] =
            paramValue(kind->params[k], block.params[k]);
    }
    return d;
}

std::vector<std::string> blockNames(const Scenario& s) {
    std::vector<std::string> names;
    for (const auto& b : s.blocks)
        names.push_back(b.name);
    return names;
}

} // namespace

void bindScenario(py::module_& m) {
    py::class_<Scenario>(m, "Scenario", R"doc(
A study: blocks with their plug-ins and parameters, input sources, solver settings, duration,
output interval and logged columns. Scenario.load(path) reads a scenario file,
Scenario.default() the embedded default; both are validated completely on loading.)doc")
        .def_static("load", &Scenario::load, py::arg("path"),
                    "Reads and validates a scenario file.")
        .def_static("default", &Scenario::builtInDefault, "The embedded default scenario.")
        .def(
            "copy", [](const Scenario& s) { return s; }, "An independent copy.")
        .def("__copy__", [](const Scenario& s) { return s; })
        .def(
            "__deepcopy__", [](const Scenario& s, const py::object&) { return s; }, py::arg("memo"))
        .def_static("parse", &Scenario::parse, py::arg("text"), py::arg("source_name") = "<text>",
                    py::arg("base_dir") = ".",
                    "Parses scenario text; relative table files are read from base_dir.")
        .def(
            "set",
            [](Scenario& s, const std::string& block, const std::string& param,
               const py::object& value) {
                const std::string where = block + "." + param;
                if (py::isinstance<py::str>(value)) { // a text carries its unit: "20 bar"
                    std::string error;
                    const auto v = parseQuantity(value.cast<std::string>(),
                                                 sim::paramUnit(s, block, param), error);
                    if (!v) throw sim::ScenarioError(where + ": " + error);
                    return s.set(block, param, {*v});
                }
                s.set(block, param, paramValues(value, where));
            },
            py::arg("block"), py::arg("param"), py::arg("value"),
            "Overrides one dialog parameter by name (a number, a sequence, or a text with its "
            "unit, \"20 bar\") and validates the block again; on an error the scenario keeps its "
            "previous value.")
        .def("well_warnings", &Scenario::wellWarnings,
             "Lines naming each block value that differs from the [well] table's (both places); "
             "tavrel.simulate warns with them.")
        .def(
            "get",
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
        .def(
            "block_kind", [](const Scenario& s, const std::string& b) { return s.block(b).kind; },
            py::arg("block"), "The deliverable a block instance runs.")
        .def_readonly("source_name", &Scenario::source_name)
        .def_property(
            "duration", [](const Scenario& s) { return s.duration; },
            simulationSetter<double>("duration"), "Simulated time [s].")
        .def_property(
            "output_interval", [](const Scenario& s) { return s.output_interval; },
            simulationSetter<double>("output_interval"), "Time between logged rows [s].")
        .def_property(
            "start_time", [](const Scenario& s) { return s.start_time; },
            simulationSetter<double>("start_time"), "Time of the first logged row [s].")
        .def_property(
            "solver", [](const Scenario& s) { return sim::solverName(s.solver.kind); },
            simulationSetter<std::string>("solver"),
            "dormand_prince (adaptive explicit), bdf (stiff) or fixed_step.")
        .def_property(
            "rtol", [](const Scenario& s) { return s.solver.rtol; },
            simulationSetter<double>("rtol"))
        .def_property(
            "atol", [](const Scenario& s) { return s.solver.atol; },
            simulationSetter<double>("atol"))
        .def_property(
            "fixed_step", [](const Scenario& s) { return s.solver.fixed_step; },
            simulationSetter<double>("fixed_step"))
        .def_property(
            "max_step", [](const Scenario& s) { return s.solver.max_step; },
            simulationSetter<double>("max_step"), "Largest solver step [s]; 0 for no limit.")
        .def_readonly("log", &Scenario::log, "Patterns of the logged columns (empty: all).")
        .def_property_readonly("warnings", &sim::plausibilityWarnings,
                               "Values accepted that are most likely a mistake, one line each.")
        .def("__repr__", [](const Scenario& s) {
            std::string names;
            for (const auto& b : s.blocks)
                names += (names.empty() ? "" : ", ") + b.name;
            return "<tavrel.Scenario " + s.source_name + ": " + names + ", " +
                   std::to_string(s.duration) + " s>";
        });

    m.def("default_scenario_text", &sim::defaultScenarioText,
          "The embedded default scenario's file text.");
}

} // namespace tavrel::python
