#include "fmu_instance.h"

#include "block_lifecycle.h"
#include "exact_number.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrel::fmi {

namespace {

const char* const category_console = "blockConsole";

} // namespace

FmuInstance::FmuInstance(std::string name, fmi2Type type, FmuLayout layout,
                         mexFunctionPointer entry, MessageSink sink)
    : name_(std::move(name)), type_(type), layout_(std::move(layout)),
      variables_(realVariables(layout_)), entry_(entry), sink_(std::move(sink)) {
    plugin_ = host::Plugin::linked(layout_.block, entry_);
    createBlock();
}

FmuInstance::~FmuInstance() = default;

// A fresh block instance with the export parameter set, as after fmi2Instantiate.
void FmuInstance::createBlock() {
    std::vector<std::vector<double>> params;
    for (const LayoutParam& param : layout_.params)
        params.push_back(param.values);
    // Built before anything is replaced: a failure leaves the instance as it was.
    auto block = std::make_unique<host::BlockInstance>(plugin_, params, name_);
    solver_.reset();
    block_ = std::move(block);
    params_ = std::move(params);
    flushConsole();
    const auto count = [](const auto& list) { return static_cast<int>(list.size()); };
    if (block_->numInputs() != count(layout_.inputs) ||
        block_->numStates() != count(layout_.states))
        throw FmuError("the FMU's resources describe " + std::to_string(layout_.inputs.size()) +
                       " inputs and " + std::to_string(layout_.states.size()) +
                       " states, but block " + layout_.block + " declares " +
                       std::to_string(block_->numInputs()) + " and " +
                       std::to_string(block_->numStates()));
    for (const LayoutOutput& output : layout_.outputs)
        if (output.port >= block_->numOutputs())
            throw FmuError("output " + output.name + " is port " + std::to_string(output.port) +
                           ", but block " + layout_.block + " has " +
                           std::to_string(block_->numOutputs()) + " output ports");
    mode_ = Mode::instantiated;
    start_time_ = time_ = input_time_ = 0;
    inputs_.assign(layout_.inputs.size(), 0.0);
    input_derivatives_.assign(layout_.inputs.size(), {});
    states_.assign(layout_.states.size(), 0.0);
    derivatives_.assign(layout_.states.size(), 0.0);
    solver_settings_ = {};
    std::copy(std::begin(solver_setting_defaults), std::end(solver_setting_defaults),
              solver_values_.begin());
    invalidate();
    initial_pending_ = true;
}

void FmuInstance::reset() { createBlock(); }

void FmuInstance::requireMode(std::initializer_list<Mode> allowed, const char* call) const {
    if (std::find(allowed.begin(), allowed.end(), mode_) == allowed.end())
        throw FmuError(std::string(call) + " is not allowed in the instance's present state");
}

void FmuInstance::setupExperiment(double start_time) {
    requireMode({Mode::instantiated}, "fmi2SetupExperiment");
    if (!std::isfinite(start_time)) {
        throw FmuError("start time " + exactNumber(start_time) + " is not finite");
    }
    start_time_ = time_ = input_time_ = start_time;
}

void FmuInstance::enterInitialization() {
    requireMode({Mode::instantiated}, "fmi2EnterInitializationMode");
    host::prepareBlock(*block_);
    flushConsole();
    mode_ = Mode::initialization;
    initial_pending_ = true;
}

void FmuInstance::exitInitialization() {
    requireMode({Mode::initialization}, "fmi2ExitInitializationMode");
    ensureInitialized();
    ensureOutputs();
    if (isCoSimulation()) {
        solver_settings_.rtol = solver_values_[static_cast<int>(SolverSetting::rtol)];
        solver_settings_.atol = solver_values_[static_cast<int>(SolverSetting::atol)];
        solver_ = sim::createSolver(solver_settings_, *this, time_, states_);
        mode_ = Mode::step_complete;
    } else {
        mode_ = Mode::event;
    }
}

void FmuInstance::terminate() {
    requireMode({Mode::event, Mode::continuous, Mode::step_complete}, "fmi2Terminate");
    host::endBlock(*block_);
    flushConsole();
    mode_ = Mode::terminated;
}

// The block's start at the start time, with the inputs the master set.
void FmuInstance::ensureInitialized() {
    if (!initial_pending_) return;
    time_ = start_time_;
    host::startBlock(*block_, time_, host::inputValues(inputs_));
    flushConsole();
    std::copy(block_->states(), block_->states() + states_.size(), states_.begin());
    initial_pending_ = false;
    outputs_current_ = true;
    derivatives_current_ = false;
}

void FmuInstance::invalidate() {
    outputs_current_ = false;
    derivatives_current_ = false;
}

void FmuInstance::evaluateOutputs(double time, const double* x) {
    std::copy(x, x + states_.size(), block_->states());
    loadInputs(time);
    block_->outputs(time);
}

// The inputs at `time`: each input's value continued by the derivatives a master gave.
void FmuInstance::loadInputs(double time) {
    const double dt = time - input_time_;
    double* in = block_->inputs();
    for (std::size_t p = 0; p < inputs_.size(); ++p) {
        const auto& d = input_derivatives_[p];
        in[p] = inputs_[p] + dt * (d[0] + dt * (d[1] / 2 + dt * (d[2] / 6)));
    }
}

void FmuInstance::ensureOutputs() {
    if (mode_ == Mode::initialization) ensureInitialized();
    if (outputs_current_) return;
    evaluateOutputs(time_, states_.data());
    flushConsole();
    outputs_current_ = true;
}

void FmuInstance::ensureDerivatives() {
    if (derivatives_current_) return;
    ensureOutputs();
    block_->derivatives(time_);
    flushConsole();
    std::copy(block_->derivatives(), block_->derivatives() + derivatives_.size(),
              derivatives_.begin());
    derivatives_current_ = true;
    for (std::size_t s = 0; s < derivatives_.size(); ++s)
        if (!std::isfinite(derivatives_[s]))
            throw FmuError("der(" + layout_.states[s] + ") is not finite at " + timeText(time_));
}

const RealVariable& FmuInstance::variable(fmi2ValueReference vr) const {
    if (vr >= variables_.size())
        throw FmuError("unknown value reference " + std::to_string(vr) +
                       " (Real variables are 0 to " + std::to_string(variables_.size() - 1) + ")");
    return variables_[vr];
}

void FmuInstance::getReal(const fmi2ValueReference vr[], std::size_t n, fmi2Real values[]) {
    for (std::size_t i = 0; i < n; ++i) {
        const RealVariable& v = variable(vr[i]);
        const bool computed = v.role == RealRole::output || v.role == RealRole::state ||
                              v.role == RealRole::derivative;
        if (computed && mode_ == Mode::instantiated)
            throw FmuError(v.name + " is computed only from fmi2EnterInitializationMode on");
        values[i] = realValue(v);
    }
}

double FmuInstance::realValue(const RealVariable& v) {
    const auto at = [](const auto& list, int k) { return list[static_cast<std::size_t>(k)]; };
    switch (v.role) {
    case RealRole::parameter:
    case RealRole::constant: return at(at(params_, v.index), v.element);
    case RealRole::input: return at(inputs_, v.index);
    case RealRole::output: ensureOutputs(); return block_->outputs()[v.index];
    case RealRole::state:
        if (mode_ == Mode::initialization) ensureInitialized();
        return at(states_, v.index);
    case RealRole::derivative: ensureDerivatives(); return at(derivatives_, v.index);
    case RealRole::solver_setting: return solver_values_[static_cast<std::size_t>(v.index)];
    }
    return NAN;
}

void FmuInstance::setReal(const fmi2ValueReference vr[], std::size_t n, const fmi2Real values[]) {
    requireMode({Mode::instantiated, Mode::initialization, Mode::event, Mode::continuous,
                 Mode::step_complete},
                "fmi2SetReal");
    for (std::size_t i = 0; i < n; ++i)
        setRealValue(variable(vr[i]), values[i]);
}

void FmuInstance::requireBeforeSimulation(const RealVariable& v) const {
    if (mode_ != Mode::instantiated && mode_ != Mode::initialization)
        throw FmuError(v.name + " is a fixed parameter: it can be set only before "
                                "fmi2ExitInitializationMode");
}

void FmuInstance::setRealValue(const RealVariable& v, double value) {
    if (!std::isfinite(value)) throw FmuError(v.name + " cannot be set to " + exactNumber(value));
    switch (v.role) {
    case RealRole::parameter: {
        requireBeforeSimulation(v);
        auto& values = params_[static_cast<std::size_t>(v.index)];
        values[static_cast<std::size_t>(v.element)] = value;
        block_->setParam(v.index, values);
        initial_pending_ = true;
        break;
    }
    case RealRole::input:
        inputs_[static_cast<std::size_t>(v.index)] = value;
        if (mode_ == Mode::initialization) initial_pending_ = true;
        break;
    case RealRole::solver_setting:
        requireBeforeSimulation(v);
        if (!(value > 0)) throw FmuError(v.name + " must be positive, not " + exactNumber(value));
        solver_values_[static_cast<std::size_t>(v.index)] = value;
        break;
    case RealRole::constant:
        throw FmuError(v.name + " fixes the block's structure and is a constant of this FMU; "
                                "export another FMU to change it");
    case RealRole::state:
        throw FmuError(v.name + " is a state: set it through fmi2SetContinuousStates");
    case RealRole::output:
    case RealRole::derivative:
        throw FmuError(v.name + " is computed by the block and cannot be set");
    }
    invalidate();
}

void FmuInstance::getInteger(const fmi2ValueReference vr[], std::size_t n,
                             fmi2Integer values[]) const {
    for (std::size_t i = 0; i < n; ++i) {
        if (vr[i] != solver_kind_vr)
            throw FmuError("unknown Integer value reference " + std::to_string(vr[i]));
        values[i] = static_cast<int>(solver_settings_.kind == sim::SolverKind::bdf
                                         ? SolverChoice::bdf
                                         : SolverChoice::dormand_prince);
    }
}

void FmuInstance::setInteger(const fmi2ValueReference vr[], std::size_t n,
                             const fmi2Integer values[]) {
    for (std::size_t i = 0; i < n; ++i) {
        if (vr[i] != solver_kind_vr)
            throw FmuError("unknown Integer value reference " + std::to_string(vr[i]));
        if (mode_ != Mode::instantiated && mode_ != Mode::initialization)
            throw FmuError("solver can be set only before fmi2ExitInitializationMode");
        switch (static_cast<SolverChoice>(values[i])) {
        case SolverChoice::dormand_prince:
            solver_settings_.kind = sim::SolverKind::dormand_prince;
            break;
        case SolverChoice::bdf: solver_settings_.kind = sim::SolverKind::bdf; break;
        default:
            throw FmuError("solver must be 1 (dormand_prince) or 2 (bdf), not " +
                           std::to_string(values[i]));
        }
    }
}

void FmuInstance::flushConsole() {
    const std::string text = block_->takeConsole();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) sink_(fmi2OK, category_console, text.substr(start, end - start));
        start = end + 1;
    }
}

std::string FmuInstance::timeText(double time) const { return "t = " + exactNumber(time); }

} // namespace tavrel::fmi
