// tavrel.Block: one block instance driven directly through the plug-in's mexFunction, for
// probing a block's sizes, initial state, outputs and derivatives at given states and inputs.
#include "bindings.h"
#include "conversions.h"

#include "block_catalog.h"
#include "block_descriptions.h"
#include "block_instance.h"
#include "block_lifecycle.h"
#include "description_file.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <memory>
#include <span>
#include <type_traits>

namespace tavrel::python {

namespace {

using host::BlockInstance;
using host::ParamValues;
using host::Plugin;

std::shared_ptr<Plugin> openPlugin(const std::string& name_or_path) {
    return Plugin::open(host::pluginPath(name_or_path));
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

ParamValues paramsByName(const BlockDescription& kind, const py::dict& given) {
    ParamValues params(kind.params.size());
    std::vector<bool> seen(kind.params.size(), false);
    for (const auto& [key, value] : given) {
        const auto name = py::cast<std::string>(py::str(key));
        const int k = sim::paramIndex(kind, name);
        if (k < 0) {
            throw py::key_error("\"" + name + "\" is not a parameter of " + std::string(kind.name));
        }
        params[static_cast<size_t>(k)] = paramValues(value, name);
        seen[static_cast<size_t>(k)] = true;
    }
    std::vector<std::string> missing;
    for (size_t k = 0; k < kind.params.size(); ++k) {
        if (seen[k]) continue;
        if (kind.params[k].isRead()) {
            missing.push_back(std::string(kind.params[k].name));
        } else {
            params[k] = {0.0}; // declared but never read by this block
        }
    }
    if (!missing.empty()) {
        throw py::value_error("missing parameters of " + std::string(kind.name) + ": " +
                              joined(missing));
    }
    return params;
}

ParamValues paramsByPosition(const BlockDescription* kind, const py::sequence& given) {
    if (kind && given.size() != kind->params.size()) {
        throw py::value_error(std::string(kind->name) + " takes " +
                              std::to_string(kind->params.size()) + " parameters, got " +
                              std::to_string(given.size()));
    }
    ParamValues params;
    for (size_t k = 0; k < given.size(); ++k) {
        params.push_back(paramValues(given[k], "parameter " + std::to_string(k)));
    }
    return params;
}

class Block {
  public:
    Block(const std::string& name_or_path, const py::object& params) {
        auto plugin = openPlugin(name_or_path);
        kind_ = host::describePlugin(plugin->path());
        if (py::isinstance<py::dict>(params)) {
            if (!kind_) {
                throw py::value_error("the parameters of " + plugin->blockName() +
                                      " have no names here; pass them as a list");
            }
            params_ = paramsByName(*kind_, params.cast<py::dict>());
        } else if (py::isinstance<py::sequence>(params) && !py::isinstance<py::str>(params)) {
            params_ = paramsByPosition(kind_.get(), params.cast<py::sequence>());
        } else {
            throw py::type_error("params must be a dict (by name) or a list (by position)");
        }
        instance_ = host::openBlock(std::move(plugin), params_);
    }

    std::string name() const { return instance_->plugin().blockName(); }
    std::string path() const { return instance_->plugin().path(); }

    py::dict sizes() const {
        py::dict d;
        d["states"] = instance_->numStates();
        d["inputs"] = instance_->numInputs();
        d["outputs"] = instance_->numOutputs();
        d["params"] = static_cast<int>(instance_->sizes()[SS_SIZES_NUM_SFCN_PARAMS]);
        d["iwork"] = instance_->numIWork();
        return d;
    }

    py::array_t<double> sizesVector() const {
        return copyToArray(instance_->sizes().data(),
                           static_cast<py::ssize_t>(instance_->sizes().size()));
    }

    std::vector<std::string> paramNames() const {
        std::vector<std::string> names;
        if (kind_) {
            for (const auto& p : kind_->params)
                names.push_back(std::string(p.name));
        }
        return names;
    }

    std::vector<std::string> inputNames() const {
        std::vector<std::string> names;
        for (int p = 0; p < instance_->numInputs(); ++p) {
            names.push_back(kind_ && p < static_cast<int>(kind_->inputs.size())
                                ? std::string(kind_->inputs[static_cast<size_t>(p)].name)
                                : "u" + std::to_string(p));
        }
        return names;
    }

    std::vector<std::string> outputNames() const {
        std::vector<std::string> names;
        if (kind_) {
            for (const auto& port : sim::outputPorts(*kind_, params_))
                names.push_back(port.name);
        }
        for (int p = static_cast<int>(names.size()); p < instance_->numOutputs(); ++p) {
            names.push_back("y" + std::to_string(p));
        }
        names.resize(static_cast<size_t>(instance_->numOutputs()));
        return names;
    }

    std::vector<bool> directFeedThrough() const {
        std::vector<bool> flags;
        for (int p = 0; p < instance_->numInputs(); ++p) {
            flags.push_back(instance_->directFeedThrough(p));
        }
        return flags;
    }

    // The block's start at `time` with inputs `u`: the state a solver starts from.
    py::array_t<double> initialStates(const py::object& u, double time) {
        setInputs(u);
        host::startBlock(*instance_, time);
        return copyToArray(instance_->states(), instance_->numStates());
    }

    py::array_t<double> outputs(const py::object& x, const py::object& u, double time) {
        setStates(x);
        setInputs(u);
        instance_->outputs(time);
        return copyToArray(instance_->outputs(), instance_->numOutputs());
    }

    py::array_t<double> derivatives(const py::object& x, const py::object& u, double time) {
        setStates(x);
        setInputs(u);
        instance_->derivatives(time);
        return copyToArray(instance_->derivatives(), instance_->numStates());
    }

    void setParam(const py::object& key, const py::object& value) {
        const int k = paramPosition(key);
        auto values = paramValues(value, py::str(key));
        instance_->setParam(k, values);
        params_[static_cast<size_t>(k)] = std::move(values);
    }

    std::string takeConsole() { return instance_->takeConsole(); }

  private:
    // A parameter by name, or by position for any plug-in.
    int paramPosition(const py::object& key) const {
        long k = -1;
        if (py::isinstance<py::int_>(key)) {
            k = key.cast<long>();
        } else if (kind_ && py::isinstance<py::str>(key)) {
            k = sim::paramIndex(*kind_, key.cast<std::string>());
        }
        if (k < 0 || k >= static_cast<long>(params_.size())) {
            throw py::key_error(std::string(py::repr(key)) + " is not a parameter of " + name());
        }
        return static_cast<int>(k);
    }

    // States and inputs are copied into the host's vectors: the block may write a state (the
    // initial choke opening), and the caller's arrays must not change behind its back.
    void setStates(const py::object& x) {
        const auto array = vectorArgument(x, instance_->numStates(), "x (states)");
        std::copy(array.data(), array.data() + array.size(), instance_->states());
    }

    void setInputs(const py::object& u) {
        if (u.is_none()) {
            std::fill(instance_->inputs(), instance_->inputs() + instance_->numInputs(), 0.0);
            return;
        }
        const auto array = vectorArgument(u, instance_->numInputs(), "u (inputs)");
        std::copy(array.data(), array.data() + array.size(), instance_->inputs());
    }

    host::SharedDescription kind_; // null: a plug-in without a description

    ParamValues params_;
    std::unique_ptr<BlockInstance> instance_;
};

std::string text(std::string_view view) { return std::string(view); }

template <typename Entry> py::list entries(std::span<const Entry> list) {
    py::list out;
    for (const auto& e : list) {
        py::dict d;
        d["name"] = text(e.name);
        d["unit"] = text(e.unit);
        d["meaning"] = text(e.meaning);
        if constexpr (std::is_same_v<Entry, ParamDescription>) {
            const auto values = e.defaults.values();
            d["default"] =
                e.isVector()
                    ? py::object(py::cast(std::vector<double>(values.begin(), values.end())))
                    : py::object(py::float_(values.empty() ? 0 : values[0]));
            d["read"] = e.isRead();
        }
        if constexpr (std::is_same_v<Entry, PortDescription>) {
            d["direct_feedthrough"] = e.direct_feed_through;
        }
        out.append(d);
    }
    return out;
}

// A block's description as plain data: what the validation, `tavrel sizes` and Block use.
py::dict describe(const std::string& name_or_path) {
    const auto d = host::describePlugin(host::pluginPath(name_or_path));
    if (!d) throw py::value_error(name_or_path + " has no description (shipped or beside it)");
    py::dict out;
    out["name"] = text(d->name);
    out["meaning"] = text(d->meaning);
    out["params"] = entries(d->params);
    out["inputs"] = entries(d->inputs);
    out["outputs"] = entries(d->fixed_outputs);
    out["states"] = entries(d->extra_states);
    out["cells"] = d->cells;
    if (d->hasSensors()) out["sensor_output"] = text(d->sensor_output.name);
    return out;
}

} // namespace

void bindBlock(py::module_& m) {
    m.def("describe", &describe, py::arg("name_or_path"),
          "A block's description: parameters (name, unit, meaning, default), ports, states.");
    py::list shipped;
    for (const BlockDescription* d : host::knownBlocks())
        shipped.append(text(d->name));
    m.attr("shipped_blocks") = shipped;
    py::class_<Block>(m, "Block", R"doc(
One instance of a block plug-in, called directly through its mexFunction.

Block(name_or_path, params): a deliverable name ("tavrel", "tavrel_observer", ...) found in
the plug-in folder, or a plug-in file path; params as a dict by name or a list by position
(numbers, or sequences for vector parameters).)doc")
        .def(py::init<const std::string&, const py::object&>(), py::arg("name_or_path"),
             py::arg("params"))
        .def_property_readonly("name", &Block::name, "The deliverable the plug-in carries.")
        .def_property_readonly("path", &Block::path, "The plug-in file.")
        .def_property_readonly("sizes", &Block::sizes,
                               "Declared counts: states, inputs, outputs, params, iwork.")
        .def_property_readonly("sizes_vector", &Block::sizesVector,
                               "The 40-element sizes vector of the sizing call.")
        .def_property_readonly("param_names", &Block::paramNames)
        .def_property_readonly("input_names", &Block::inputNames)
        .def_property_readonly("output_names", &Block::outputNames)
        .def_property_readonly("direct_feedthrough", &Block::directFeedThrough)
        .def("initial_states", &Block::initialStates, py::arg("u") = py::none(), py::arg("t") = 0.0,
             "Initial conditions, then the first outputs call at t with inputs u (zeros if "
             "omitted), which may set a state such as the initial choke opening.")
        .def("outputs", &Block::outputs, py::arg("x"), py::arg("u"), py::arg("t") = 0.0,
             "Output values at states x and inputs u.")
        .def("derivatives", &Block::derivatives, py::arg("x"), py::arg("u"), py::arg("t") = 0.0,
             "State derivatives at states x and inputs u.")
        .def("set_param", &Block::setParam, py::arg("name"), py::arg("value"),
             "Replaces one dialog parameter; the block reads it at its next call.")
        .def("take_console", &Block::takeConsole, "Text the block printed since the last call.");
}

} // namespace tavrel::python
