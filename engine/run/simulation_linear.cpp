// The wired system as a function of its states and chosen inputs, for linear analysis.
#include "simulation_impl.h"

namespace tavrel::sim {

std::vector<std::string> Simulation::stateNames() const { return impl_->stateNames(); }

std::vector<std::string> Simulation::Impl::stateNames() const {
    const Impl& s = *this;
    std::vector<std::string> names(s.y.size());
    const size_t controller_start = s.y.size() - static_cast<size_t>(s.num_controller_states);
    for (const auto& b : s.blocks) {
        for (int i = 0; i < b.num_states; ++i) {
            names[static_cast<size_t>(b.state_offset + i)] =
                b.config->name + "." + stateName(*b.kind, i);
        }
        for (size_t p = 0; p < b.inputs.size(); ++p) {
            const std::string input = b.config->name + "." + std::string(b.kind->inputs[p].name);
            for (int slot : b.inputs[p]->controllerSlots()) {
                names[controller_start + static_cast<size_t>(slot)] = input + ".integral";
            }
        }
    }
    return names;
}

std::vector<std::string> Simulation::stateUnits() const {
    std::vector<std::string> units(impl_->y.size());
    for (const auto& b : impl_->blocks) {
        for (int i = 0; i < b.num_states; ++i)
            units[static_cast<size_t>(b.state_offset + i)] = std::string(stateUnit(*b.kind, i));
    }
    return units;
}

const std::vector<double>& Simulation::stateVector() const { return impl_->y; }

std::vector<PortRef> Simulation::externalInputs() const {
    std::vector<PortRef> ports;
    for (const auto& b : impl_->blocks) {
        for (size_t p = 0; p < b.inputs.size(); ++p) {
            if (!b.inputs[p]->readsBlocks())
                ports.push_back({b.config->name, std::string(b.kind->inputs[p].name)});
        }
    }
    return ports;
}

std::vector<double> Simulation::openInputs(const std::vector<PortRef>& ports) {
    Impl& s = *impl_;
    std::vector<Signal> signals;
    for (const auto& port : ports) {
        const std::string name = port.block + "." + port.port;
        Signal signal;
        try {
            signal = s.resolve(port);
        } catch (const ScenarioError&) {
            throw SimulationError("input " + name + ": no such port");
        }
        if (signal.is_output) throw SimulationError("input " + name + ": an output port");
        if (s.blocks[static_cast<size_t>(signal.block)]
                .inputs[static_cast<size_t>(signal.port)]
                ->readsBlocks()) {
            throw SimulationError("input " + name + ": fed by other blocks' ports");
        }
        signals.push_back(signal);
    }
    s.open_values.resize(ports.size());
    for (size_t k = 0; k < signals.size(); ++k)
        s.open_values[k] = s.value(signals[k]);
    for (size_t k = 0; k < signals.size(); ++k) {
        auto& block = s.blocks[static_cast<size_t>(signals[k].block)];
        block.inputs[static_cast<size_t>(signals[k].port)] = channelSource(&s.open_values[k]);
    }
    s.solver_stale = true;
    return s.open_values;
}

void Simulation::probe(const std::vector<PortRef>& ports) {
    std::vector<Signal> signals;
    for (const auto& port : ports) {
        try {
            signals.push_back(impl_->resolve(port));
        } catch (const ScenarioError&) {
            throw SimulationError("output " + port.block + "." + port.port + ": no such port");
        }
    }
    impl_->probes = std::move(signals);
}

std::string Simulation::unit(const PortRef& port) const {
    const Signal signal = impl_->resolve(port);
    const auto& b = impl_->blocks[static_cast<size_t>(signal.block)];
    return signal.is_output ? b.outputs[static_cast<size_t>(signal.port)].unit
                            : std::string(b.kind->inputs[static_cast<size_t>(signal.port)].unit);
}

void Simulation::evaluate(double t, const double* x, const double* u, double* xdot,
                          double* probes) {
    Impl& s = *impl_;
    std::copy(u, u + s.open_values.size(), s.open_values.begin());
    s.solver_stale = true;
    // A derivative that is not finite is returned as it is: the caller names the entry.
    if (s.rhs(t, x, xdot) < 0) throw SimulationError(s.rhs_failure);
    for (size_t k = 0; k < s.probes.size(); ++k)
        probes[k] = s.value(s.probes[k]);
}

} // namespace tavrel::sim
