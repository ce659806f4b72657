// One FMU instance: a block instance of the linked block, driven through the same record and
// method calls as the host's, behind the FMI 2.0 life cycle for Model Exchange and
// Co-Simulation. Errors are thrown as FmuError and become fmi2Error at the C edge.
#pragma once

#include "fmi2.h"
#include "fmu_layout.h"

#include "block_instance.h"
#include "ode_solver.h"

#include <array>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::fmi {

struct FmuError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Receives the instance's messages: block console lines (fmi2OK) and errors.
using MessageSink = std::function<void(fmi2Status, const char* category, const std::string&)>;

class FmuInstance final : private sim::OdeSystem {
  public:
    // Sizes the block with the export parameter set; the binary's own block must be the one
    // the layout describes.
    FmuInstance(std::string name, fmi2Type type, FmuLayout layout, mexFunctionPointer entry,
                MessageSink sink);
    ~FmuInstance() override;

    void setupExperiment(double start_time);
    void enterInitialization();
    void exitInitialization();
    void terminate();
    void reset();

    void getReal(const fmi2ValueReference vr[], std::size_t n, fmi2Real values[]);
    void setReal(const fmi2ValueReference vr[], std::size_t n, const fmi2Real values[]);
    void getInteger(const fmi2ValueReference vr[], std::size_t n, fmi2Integer values[]) const;
    void setInteger(const fmi2ValueReference vr[], std::size_t n, const fmi2Integer values[]);

    // dv_unknown = J dv_known, J the Jacobian of the unknowns (outputs, derivatives) in the
    // knowns (states, inputs) at the present time, states and inputs: one central difference
    // per known with a non-zero seed, stepped as the scenario's linearisation steps.
    void directionalDerivative(const fmi2ValueReference unknown[], std::size_t n_unknown,
                               const fmi2ValueReference known[], std::size_t n_known,
                               const fmi2Real dv_known[], fmi2Real dv_unknown[]);

    // Model Exchange
    void enterEventMode();
    void enterContinuousTimeMode();
    void setTime(double time);
    void setStates(const double x[], std::size_t nx);
    void getStates(double x[], std::size_t nx);
    void getDerivatives(double dx[], std::size_t nx);
    void getNominals(double nominals[], std::size_t nx) const;
    void checkEventIndicatorCount(std::size_t ni) const;
    void completedIntegratorStep();

    // Co-Simulation
    void setInputDerivatives(const fmi2ValueReference vr[], std::size_t n,
                             const fmi2Integer order[], const fmi2Real values[]);
    void doStep(double communication_point, double step);
    double time() const { return time_; }

    bool isCoSimulation() const { return type_ == fmi2CoSimulation; }

    // Orders of input derivatives a master may hand to fmi2SetRealInputDerivatives.
    static constexpr int max_input_order = 3;

  private:
    enum class Mode { instantiated, initialization, event, continuous, step_complete, terminated };

    void createBlock();
    void requireMode(std::initializer_list<Mode> allowed, const char* call) const;
    const RealVariable& variable(fmi2ValueReference vr) const;
    double realValue(const RealVariable& v);
    void setRealValue(const RealVariable& v, double value);
    void requireBeforeSimulation(const RealVariable& v) const;
    void invalidate();
    void ensureInitialized();
    void ensureOutputs();
    void ensureDerivatives();
    void evaluateOutputs(double time, const double* x);
    double knownStep(const RealVariable& known, double value) const;
    void loadInputs(double time);
    void flushConsole();
    std::string timeText(double time) const;
    int rhs(double t, const double* y, double* ydot) noexcept override;

    std::string name_;
    fmi2Type type_;
    FmuLayout layout_;
    std::vector<RealVariable> variables_;
    mexFunctionPointer entry_;
    MessageSink sink_;
    std::shared_ptr<host::Plugin> plugin_;
    std::unique_ptr<host::BlockInstance> block_;

    Mode mode_ = Mode::instantiated;
    double start_time_ = 0, time_ = 0;
    std::vector<std::vector<double>> params_;
    std::vector<double> inputs_;
    std::vector<std::array<double, max_input_order>> input_derivatives_; // at input_time_
    double input_time_ = 0;
    std::vector<double> states_, derivatives_;
    bool initial_pending_ = true, outputs_current_ = false, derivatives_current_ = false;
    sim::SolverSettings solver_settings_;
    std::array<double, static_cast<int>(SolverSetting::count)> solver_values_;
    std::unique_ptr<sim::OdeSolver> solver_;
    std::string rhs_failure_;
};

} // namespace tavrel::fmi
