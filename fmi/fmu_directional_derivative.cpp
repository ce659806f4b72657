// fmi2GetDirectionalDerivative: central differences of the outputs and derivatives along the
// states and inputs, stepped as the scenario's linearisation steps.
#include "fmu_instance.h"

#include "difference_steps.h"
#include "exact_number.h"

#include <algorithm>
#include <cmath>

namespace tavrel::fmi {

void FmuInstance::directionalDerivative(const fmi2ValueReference unknown[], std::size_t n_unknown,
                                        const fmi2ValueReference known[], std::size_t n_known,
                                        const fmi2Real dv_known[], fmi2Real dv_unknown[]) {
    requireMode({Mode::event, Mode::continuous, Mode::step_complete},
                "fmi2GetDirectionalDerivative");
    std::vector<const RealVariable*> unknowns, knowns;
    bool needs_derivatives = false;
    for (std::size_t i = 0; i < n_unknown; ++i) {
        const RealVariable& v = variable(unknown[i]);
        if (v.role != RealRole::output && v.role != RealRole::derivative)
            throw FmuError(v.name + " is not an output or a derivative: it has no directional "
                                    "derivative");
        needs_derivatives = needs_derivatives || v.role == RealRole::derivative;
        unknowns.push_back(&v);
    }
    for (std::size_t k = 0; k < n_known; ++k) {
        const RealVariable& v = variable(known[k]);
        if (v.role != RealRole::state && v.role != RealRole::input)
            throw FmuError(v.name + " is not a state or an input: no directional derivative "
                                    "is taken along it");
        if (!std::isfinite(dv_known[k]))
            throw FmuError(v.name + ": seed " + exactNumber(dv_known[k]) + " is not finite");
        knowns.push_back(&v);
    }
    ensureOutputs();
    std::vector<double> x = states_, xdot(states_.size()), plus(n_unknown), minus(n_unknown);
    const std::vector<double> inputs = inputs_;
    const auto evaluate = [&](std::vector<double>& into) {
        evaluateOutputs(time_, x.data());
        if (needs_derivatives) block_->derivatives(time_, xdot.data());
        for (std::size_t i = 0; i < n_unknown; ++i) {
            const auto index = static_cast<std::size_t>(unknowns[i]->index);
            into[i] =
                unknowns[i]->role == RealRole::output ? block_->outputs()[index] : xdot[index];
        }
    };
    std::fill(dv_unknown, dv_unknown + n_unknown, 0.0);
    try {
        for (std::size_t k = 0; k < n_known; ++k) {
            if (dv_known[k] == 0) continue;
            const auto index = static_cast<std::size_t>(knowns[k]->index);
            double& value = knowns[k]->role == RealRole::state ? x[index] : inputs_[index];
            const double origin = value, h = knownStep(*knowns[k], origin);
            value = origin + h;
            evaluate(plus);
            value = origin - h;
            evaluate(minus);
            value = origin;
            for (std::size_t i = 0; i < n_unknown; ++i)
                dv_unknown[i] += dv_known[k] * ((plus[i] - minus[i]) / (2 * h));
        }
    } catch (...) {
        inputs_ = inputs;
        invalidate();
        throw;
    }
    // The block's vectors hold the last perturbed point: the next read evaluates afresh.
    inputs_ = inputs;
    invalidate();
    flushConsole();
    for (std::size_t i = 0; i < n_unknown; ++i)
        if (!std::isfinite(dv_unknown[i]))
            throw FmuError("the directional derivative of " + unknowns[i]->name +
                           " is not finite at " + timeText(time_));
}

// The step along a state or input, scaled by its unit as the linearisation scales it.
double FmuInstance::knownStep(const RealVariable& known, double value) const {
    const auto& units = known.role == RealRole::state ? layout_.state_units : layout_.input_units;
    const auto index = static_cast<std::size_t>(known.index);
    const std::string unit = index < units.size() ? units[index] : std::string();
    return linear::unitStepSize(linear::default_relative_step, value, unit);
}

} // namespace tavrel::fmi
