// Conversions between Python values and the host's vectors, shared by the bindings.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace tavrel::python {

namespace py = pybind11;

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A dialog parameter from Python: a number or a flat sequence of numbers (a row vector, whose
// length is its column count). Texts, None and nested sequences are refused with ValueError
// naming `what`.
std::vector<double> paramValues(py::handle value, const std::string& what);

// A 1-D float64 array of exactly `size` elements (ValueError naming `what` otherwise).
DoubleArray vectorArgument(py::handle value, py::ssize_t size, const std::string& what);

// A new 1-D array holding a copy of `count` values.
py::array_t<double> copyToArray(const double* values, py::ssize_t count);

// A read-only array over memory owned by `owner`, which the array keeps alive: no copy.
py::array readOnlyView(const double* data, std::vector<py::ssize_t> shape,
                       std::vector<py::ssize_t> strides, py::handle owner);

} // namespace tavrel::python
