// The compiled core of the Python package `tavrel`, over the same host library as the
// command-line tool.
#include "bindings.h"

PYBIND11_MODULE(_tavrel, m) {
    m.doc() = "Block plug-ins, scenarios and simulations of the tavrel host.";
    tavrel::python::bindErrors(m);
    tavrel::python::bindBlock(m);
    tavrel::python::bindScenario(m);
    tavrel::python::bindResults(m);
    tavrel::python::bindSimulation(m);
    tavrel::python::bindStudy(m);
    tavrel::python::bindOptimization(m);
    tavrel::python::bindLinear(m);
    tavrel::python::bindFolders(m);
}
