// tavrel.linearize and the frequency response kernel of tavrel.LinearModel, over the host's
// linear analysis library (the same code as `tavrel linearize`).
#include "bindings.h"

#include "frequency_response.h"
#include "linearization.h"
#include "scenario.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

namespace tavrel::python {

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

Array toArray(const linear::Matrix& M) {
    Array a({M.rows, M.cols});
    std::copy(M.values.begin(), M.values.end(), a.mutable_data());
    return a;
}

linear::Matrix toMatrix(const Array& a, const char* name) {
    if (a.ndim() != 2) throw py::value_error(std::string(name) + " must be a 2-D array");
    linear::Matrix M(static_cast<size_t>(a.shape(0)), static_cast<size_t>(a.shape(1)));
    std::copy(a.data(), a.data() + a.size(), M.values.begin());
    return M;
}

py::dict linearizeScenario(const sim::Scenario& scenario, std::vector<std::string> inputs,
                           std::vector<std::string> outputs, std::optional<double> at, bool trim) {
    linear::LinearizeOptions options;
    options.inputs = std::move(inputs);
    options.outputs = std::move(outputs);
    options.at = at;
    options.trim = trim;
    linear::LinearModel m;
    {
        py::gil_scoped_release release;
        m = linear::linearize(scenario, options);
    }
    py::dict d;
    d["A"] = toArray(m.A);
    d["B"] = toArray(m.B);
    d["C"] = toArray(m.C);
    d["D"] = toArray(m.D);
    d["x0"] = py::array(py::cast(m.x0));
    d["u0"] = py::array(py::cast(m.u0));
    d["y0"] = py::array(py::cast(m.y0));
    d["states"] = m.states;
    d["state_blocks"] = m.state_blocks;
    d["inputs"] = m.inputs;
    d["outputs"] = m.outputs;
    d["input_units"] = m.input_units;
    d["output_units"] = m.output_units;
    d["time"] = m.time;
    d["residual"] = m.residual;
    d["steady"] = m.steady ? 1.0 : 0.0;
    d["wave_period"] = m.wave_period;
    return d;
}

// G(jw) for each w: an array (frequencies, outputs, inputs).
py::array_t<std::complex<double>> frequencyResponse(const Array& A, const Array& B, const Array& C,
                                                    const Array& D,
                                                    const std::vector<double>& omegas) {
    const linear::FrequencyResponse response(toMatrix(A, "A"), toMatrix(B, "B"), toMatrix(C, "C"),
                                             toMatrix(D, "D"));
    std::vector<std::complex<double>> G;
    {
        py::gil_scoped_release release;
        G = response.at(omegas);
    }
    py::array_t<std::complex<double>> out({omegas.size(), response.outputs(), response.inputs()});
    std::copy(G.begin(), G.end(), out.mutable_data());
    return out;
}

} // namespace

void bindLinear(py::module_& m) {
    py::register_exception<linear::LinearizeError>(m, "LinearizeError",
                                                   m.attr("TavrelError").ptr());
    m.def("_linearize", &linearizeScenario, py::arg("scenario"), py::arg("inputs"),
          py::arg("outputs"), py::arg("at"), py::arg("trim"));
    m.def("_frequency_response", &frequencyResponse, py::arg("A"), py::arg("B"), py::arg("C"),
          py::arg("D"), py::arg("omegas"));
}

} // namespace tavrel::python
