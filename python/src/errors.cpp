// The package's exceptions: errors of the blocks and the plug-in protocol, of scenario files
// and of runs come back to Python with the host's message, which names the block and method.
#include "bindings.h"

#include "block_instance.h"
#include "scenario.h"
#include "simulation.h"

namespace tavrel::python {

namespace {

// Exception types live as long as the interpreter; the module keeps them for good.
PyObject* base_error = nullptr;
PyObject* block_error = nullptr;
PyObject* scenario_error = nullptr;
PyObject* simulation_error = nullptr;

PyObject* newError(py::module_& m, const char* name, PyObject* base, const char* doc) {
    const std::string qualified = "tavrel." + std::string(name);
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
    if (!type) throw py::error_already_set();
    m.attr(name) = py::handle(type);
    return type;
}

} // namespace

void raiseSimulationError(const std::string& message, py::object partial_result) {
    py::object error = py::reinterpret_borrow<py::object>(simulation_error)(message);
    error.attr("result") = std::move(partial_result);
    PyErr_SetObject(simulation_error, error.ptr());
    throw py::error_already_set();
}

void bindErrors(py::module_& m) {
    base_error = newError(m, "TavrelError", PyExc_RuntimeError, "Base of the package's errors.");
    block_error = newError(m, "BlockError", base_error,
                           "A plug-in that cannot be loaded, or an error a block reported.");
    scenario_error = newError(m, "ScenarioError", base_error,
                              "A scenario that cannot be read or breaks a rule.");
    simulation_error = newError(m, "SimulationError", base_error,
                                "A run that failed; `result` holds what was logged until then.");
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const host::HostError& e) {
            PyErr_SetString(block_error, e.what());
        } catch (const sim::ScenarioError& e) {
            PyErr_SetString(scenario_error, e.what());
        } catch (const sim::SimulationError& e) {
            PyErr_SetString(simulation_error, e.what());
        }
    });
}

} // namespace tavrel::python
