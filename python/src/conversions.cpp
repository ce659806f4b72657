#include "conversions.h"

#include <algorithm>

namespace tavrel::python {

std::vector<double> paramValues(py::handle value, const std::string& what) {
    if (value.is_none() || py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value)) {
        throw py::value_error(what + ": expected a number or a sequence of numbers, got " +
                              std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    const auto array = DoubleArray::ensure(value);
    if (!array || array.ndim() > 1) {
        throw py::value_error(what + ": expected a number or a flat sequence of numbers");
    }
    return {array.data(), array.data() + array.size()};
}

DoubleArray vectorArgument(py::handle value, py::ssize_t size, const std::string& what) {
    auto array = DoubleArray::ensure(value);
    if (!array || array.ndim() != 1) {
        throw py::value_error(what + ": expected a 1-D sequence of numbers");
    }
    if (array.size() != size) {
        throw py::value_error(what + ": expected " + std::to_string(size) + " values, got " +
                              std::to_string(array.size()));
    }
    return array;
}

py::array_t<double> copyToArray(const double* values, py::ssize_t count) {
    py::array_t<double> array(count);
    if (count > 0) std::copy(values, values + count, array.mutable_data());
    return array;
}

py::array readOnlyView(const double* data, std::vector<py::ssize_t> shape,
                       std::vector<py::ssize_t> strides, py::handle owner) {
    py::array view(py::dtype::of<double>(), std::move(shape), std::move(strides), data, owner);
    view.attr("setflags")(py::arg("write") = false);
    return view;
}

} // namespace tavrel::python
