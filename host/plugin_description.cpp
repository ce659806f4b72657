#include "plugin_description.h"

namespace tavrel::host {

std::shared_ptr<const HandshakeDescription> HandshakeDescription::of(
    std::shared_ptr<Plugin> plugin, const ParamSet& params, const std::string& instance_name) {
    const std::string where = "plug-in " + plugin->path(); // the caller names the block
    std::unique_ptr<BlockInstance> block;
    try {
        block = std::make_unique<BlockInstance>(plugin, params, instance_name);
    } catch (const HostError& error) {
        throw HostError(where + ": " + error.what());
    }
    const auto declared = static_cast<std::size_t>(block->sizes()[7]);
    if (declared != params.size()) {
        throw HostError(where + ": the plug-in declares " + std::to_string(declared) +
                        " dialog parameters, but params gives " + std::to_string(params.size()));
    }
    std::shared_ptr<HandshakeDescription> d(new HandshakeDescription);
    for (std::size_t k = 0; k < params.size(); ++k) {
        d->params_.push_back({static_cast<int>(k), d->keep("p" + std::to_string(k)), "", "",
                              ParamShape::vector, {}});
    }
    for (int p = 0; p < block->numInputs(); ++p) {
        d->inputs_.push_back(
            {p, d->keep("u" + std::to_string(p)), "", "", block->directFeedThrough(p)});
    }
    for (int p = 0; p < block->numOutputs(); ++p) {
        d->outputs_.push_back({p, d->keep("y" + std::to_string(p)), "", ""});
    }
    d->view_ = {.name = d->keep(plugin->blockName()),
                .meaning = "a plug-in described by its sizing handshake",
                .params = d->params_,
                .inputs = d->inputs_,
                .fixed_outputs = d->outputs_,
                .sensor_output = {},
                .num_fixed_outputs_param = -1,
                .sensor_positions_param = -1,
                .min_outputs = block->numOutputs(),
                .cells = 0,
                .extra_states = {},
                .rules = {}};
    return d;
}

} // namespace tavrel::host
