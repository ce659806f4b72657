// tavrel.Simulation: a scenario stepped from Python, so that a controller written in Python can
// read outputs and set inputs between steps (co-simulation).
#include "bindings.h"
#include "result_data.h"

#include "simulation.h"

#include <pybind11/stl.h>

#include <cmath>
#include <mutex>

namespace tavrel::python {

namespace {

class Stepper {
  public:
    Stepper(const sim::Scenario& scenario, bool log) {
        const sim::Scenario own = scenario;
        {
            py::gil_scoped_release release;
            simulation_ = std::make_unique<sim::Simulation>(own);
        }
        if (log) {
            log_ = std::make_unique<sim::MemorySink>();
            log_->begin(simulation_->columns());
            log_->row(simulation_->time(), simulation_->loggedValues());
        }
    }

    // Integrates to `t` with the GIL released, logging every output interval on the way.
    void advanceTo(double t) {
        std::unique_lock lock = claim();
        if (!failure_.empty()) {
            raiseSimulationError("the simulation stopped after an error: " + failure_,
                                 log_ ? py::cast(snapshot(*log_)) : py::none());
        }
        if (!std::isfinite(t)) throw py::value_error("t must be finite");
        if (!(t >= simulation_->time())) { // a caller's mistake: the run itself is sound
            throw py::value_error("cannot advance from t = " + std::to_string(simulation_->time()) +
                                  " back to t = " + std::to_string(t));
        }
        std::string failure;
        {
            py::gil_scoped_release release;
            try {
                simulation_->advanceTo(t, log_.get());
            } catch (const sim::SimulationError& error) {
                failure = error.what();
            }
        }
        if (!failure.empty()) {
            failure_ = failure;
            raiseSimulationError(failure, log_ ? py::cast(snapshot(*log_)) : py::none());
        }
    }

    void setInput(const std::string& block, const std::string& port, double value) {
        std::unique_lock lock = claim();
        simulation_->setInput(block, port, value);
    }

    double output(const std::string& block, const std::string& port) {
        std::unique_lock lock = claim();
        return simulation_->output(block, port);
    }

    double input(const std::string& block, const std::string& port) {
        std::unique_lock lock = claim();
        return simulation_->input(block, port);
    }

    double time() {
        std::unique_lock lock = claim();
        return simulation_->time();
    }

    // The logged columns' present values by name.
    py::dict values() {
        std::unique_lock lock = claim();
        py::dict d;
        const auto values = simulation_->loggedValues();
        const auto& columns = simulation_->columns();
        for (size_t i = 0; i < columns.size(); ++i)
            d[py::str(columns[i].name)] = values[i];
        return d;
    }

    ResultData result() {
        std::unique_lock lock = claim();
        if (!log_) throw py::value_error("this simulation was created with log=False");
        return snapshot(*log_);
    }

    std::string console() {
        std::unique_lock lock = claim();
        return simulation_->console();
    }

    py::dict statistics() {
        std::unique_lock lock = claim();
        const auto& s = simulation_->statistics();
        py::dict d;
        d["rhs_evaluations"] = s.rhs_evaluations;
        d["steps"] = s.steps;
        d["total_seconds"] = s.total_seconds;
        return d;
    }

  private:
    // One call at a time: a second thread must not use the simulation while it integrates.
    std::unique_lock<std::mutex> claim() {
        std::unique_lock lock(busy_, std::try_to_lock);
        if (!lock.owns_lock()) {
            throw std::runtime_error("the simulation is busy in another thread");
        }
        return lock;
    }

    std::unique_ptr<sim::Simulation> simulation_;
    std::unique_ptr<sim::MemorySink> log_;
    std::string failure_;
    std::mutex busy_;
};

} // namespace

void bindSimulation(py::module_& m) {
    py::class_<Stepper>(m, "Simulation", R"doc(
A scenario stepped from Python. Simulation(scenario, log=True) loads and initialises the
blocks; advance_to(t) integrates (logging every output interval when log is True);
set_input holds an input port at a value from then on; output reads a port's present value.)doc")
        .def(py::init<const sim::Scenario&, bool>(), py::arg("scenario"), py::arg("log") = true)
        .def_property_readonly("time", &Stepper::time, "The present simulated time [s].")
        .def("advance_to", &Stepper::advanceTo, py::arg("t"),
             "Integrates to time t (not before the present time).")
        .def("set_input", &Stepper::setInput, py::arg("block"), py::arg("port"), py::arg("value"),
             "Holds an input port at a value from now on.")
        .def("output", &Stepper::output, py::arg("block"), py::arg("port"),
             "Present value of an output port, e.g. \"sensor_pressure[2]\", or an input port.")
        .def("input", &Stepper::input, py::arg("block"), py::arg("port"),
             "Present value of an input port.")
        .def("values", &Stepper::values, "The logged columns' present values by name.")
        .def("result_data", &Stepper::result, "A copy of the rows logged so far.")
        .def_property_readonly("console", &Stepper::console, "Text the blocks printed.")
        .def_property_readonly("statistics", &Stepper::statistics);
}

} // namespace tavrel::python
