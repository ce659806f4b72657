// The parts of the compiled module `_tavrel`, each bound by its own file.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace tavrel::python {

namespace py = pybind11;

void bindErrors(py::module_& m);
void bindBlock(py::module_& m);
void bindScenario(py::module_& m);
void bindResults(py::module_& m);
void bindSimulation(py::module_& m);
void bindStudy(py::module_& m);
void bindOptimization(py::module_& m);
void bindLinear(py::module_& m);
void bindFolders(py::module_& m);

// Raises tavrel.SimulationError with `message`, carrying what was logged up to the failure
// as the exception's `result` attribute.
[[noreturn]] void raiseSimulationError(const std::string& message, py::object partial_result);

} // namespace tavrel::python
