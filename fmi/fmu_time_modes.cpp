// The instance in time: Model Exchange (the master integrates the states) and Co-Simulation
// (the instance integrates between communication points with its own solver).
#include "fmu_instance.h"

#include "exact_number.h"

#include <algorithm>
#include <cmath>

namespace tavrel::fmi {

void FmuInstance::enterEventMode() {
    requireMode({Mode::event, Mode::continuous}, "fmi2EnterEventMode");
    mode_ = Mode::event;
}

void FmuInstance::enterContinuousTimeMode() {
    requireMode({Mode::event}, "fmi2EnterContinuousTimeMode");
    mode_ = Mode::continuous;
}

void FmuInstance::setTime(double time) {
    requireMode({Mode::event, Mode::continuous}, "fmi2SetTime");
    if (!std::isfinite(time)) throw FmuError("time " + exactNumber(time) + " is not finite");
    time_ = time;
    input_time_ = time;
    invalidate();
}

void FmuInstance::setStates(const double x[], std::size_t nx) {
    requireMode({Mode::event, Mode::continuous}, "fmi2SetContinuousStates");
    if (nx != states_.size())
        throw FmuError("fmi2SetContinuousStates: " + std::to_string(nx) +
                       " states given, the block has " + std::to_string(states_.size()));
    for (std::size_t s = 0; s < nx; ++s)
        if (!std::isfinite(x[s]))
            throw FmuError("state " + layout_.states[s] + " cannot be set to " + exactNumber(x[s]) +
                           " at " + timeText(time_));
    std::copy(x, x + nx, states_.begin());
    invalidate();
}

void FmuInstance::getStates(double x[], std::size_t nx) {
    if (nx != states_.size())
        throw FmuError("fmi2GetContinuousStates: room for " + std::to_string(nx) +
                       " states, the block has " + std::to_string(states_.size()));
    if (mode_ == Mode::initialization) ensureInitialized();
    std::copy(states_.begin(), states_.end(), x);
}

void FmuInstance::getDerivatives(double dx[], std::size_t nx) {
    if (nx != states_.size())
        throw FmuError("fmi2GetDerivatives: room for " + std::to_string(nx) +
                       " derivatives, the block has " + std::to_string(states_.size()));
    ensureDerivatives();
    std::copy(derivatives_.begin(), derivatives_.end(), dx);
}

void FmuInstance::getNominals(double nominals[], std::size_t nx) const {
    if (nx != states_.size())
        throw FmuError("fmi2GetNominalsOfContinuousStates: room for " + std::to_string(nx) +
                       " states, the block has " + std::to_string(states_.size()));
    std::fill(nominals, nominals + nx, 1.0);
}

void FmuInstance::checkEventIndicatorCount(std::size_t ni) const {
    if (ni != 0)
        throw FmuError("the block has no event indicators, " + std::to_string(ni) + " asked for");
}

void FmuInstance::completedIntegratorStep() {
    requireMode({Mode::continuous}, "fmi2CompletedIntegratorStep");
    flushConsole();
}

void FmuInstance::setInputDerivatives(const fmi2ValueReference vr[], std::size_t n,
                                      const fmi2Integer order[], const fmi2Real values[]) {
    for (std::size_t i = 0; i < n; ++i) {
        const RealVariable& v = variable(vr[i]);
        if (v.role != RealRole::input) throw FmuError(v.name + " is not an input");
        if (order[i] < 1 || order[i] > max_input_order)
            throw FmuError(v.name + ": derivative order " + std::to_string(order[i]) + " (1 to " +
                           std::to_string(max_input_order) + " supported)");
        if (!std::isfinite(values[i]))
            throw FmuError(v.name + ": derivative cannot be " + exactNumber(values[i]));
        input_derivatives_[static_cast<std::size_t>(v.index)]
                          [static_cast<std::size_t>(order[i] - 1)] = values[i];
    }
}

// Integrates from the communication point over `step` with the internal solver, restarted at
// each step since the master may have changed the inputs; the inputs follow their
// derivatives within the step and are continued to its end.
void FmuInstance::doStep(double communication_point, double step) {
    requireMode({Mode::step_complete}, "fmi2DoStep");
    if (!(step >= 0) || !std::isfinite(step))
        throw FmuError("fmi2DoStep: step size " + exactNumber(step) +
                       " must be finite and not negative");
    if (std::abs(communication_point - time_) > 1e-9 * std::max(1.0, std::abs(time_)))
        throw FmuError("fmi2DoStep: communication point " + exactNumber(communication_point) +
                       " differs from the instance's time " + exactNumber(time_));
    input_time_ = time_;
    if (step > 0) {
        rhs_failure_.clear();
        try {
            solver_->restart(time_, states_);
            solver_->advance(time_ + step, states_);
        } catch (const sim::SolverError& error) {
            throw FmuError(rhs_failure_.empty() ? std::string(error.what())
                                                : rhs_failure_ + " (" + error.what() + ")");
        }
    }
    const double end = time_ + step;
    loadInputs(end);
    for (std::size_t p = 0; p < inputs_.size(); ++p) {
        auto& d = input_derivatives_[p];
        inputs_[p] = block_->inputs()[p];
        d[0] += step * (d[1] + step * d[2] / 2);
        d[1] += step * d[2];
    }
    time_ = input_time_ = end;
    invalidate();
    ensureOutputs();
}

int FmuInstance::rhs(double t, const double* y, double* ydot) noexcept {
    try {
        evaluateOutputs(t, y);
        block_->derivatives(t, ydot);
        for (std::size_t s = 0; s < derivatives_.size(); ++s) {
            if (!std::isfinite(ydot[s])) {
                rhs_failure_ = "der(" + layout_.states[s] + ") is not finite at " + timeText(t);
                return 1; // the solver retries with a smaller step
            }
        }
        return 0;
    } catch (const std::exception& error) {
        rhs_failure_ = error.what();
        return -1;
    }
}

} // namespace tavrel::fmi
