#include "plugin_description.h"

namespace tavrel::host {

void OwnedDescription::seal(std::string name, std::string meaning) {
    view_ = {.name = keep(std::move(name)),
             .meaning = keep(std::move(meaning)),
             .params = params,
             .inputs = inputs,
             .fixed_outputs = outputs,
             .sensor_output = {},
             .num_fixed_outputs_param = -1,
             .sensor_positions_param = -1,
             .min_outputs = static_cast<int>(outputs.size()),
             .cells = 0,
             .extra_states = states,
             .rules = rules};
}

SharedDescription share(std::shared_ptr<const OwnedDescription> owner) {
    const BlockDescription* view = &owner->description();
    return SharedDescription(std::move(owner), view);
}

SharedDescription describeByHandshake(std::shared_ptr<Plugin> plugin, const ParamSet& params,
                                      const std::string& instance_name) {
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
    auto d = std::make_shared<OwnedDescription>();
    for (std::size_t k = 0; k < params.size(); ++k) {
        d->params.push_back({static_cast<int>(k),
                             d->keep("p" + std::to_string(k)),
                             "",
                             "",
                             ParamShape::vector,
                             {}});
    }
    for (int p = 0; p < block->numInputs(); ++p) {
        d->inputs.push_back(
            {p, d->keep("u" + std::to_string(p)), "", "", block->directFeedThrough(p)});
    }
    for (int p = 0; p < block->numOutputs(); ++p) {
        d->outputs.push_back({p, d->keep("y" + std::to_string(p)), "", ""});
    }
    d->seal(plugin->blockName(), "a plug-in described by its sizing handshake");
    return share(std::move(d));
}

} // namespace tavrel::host
