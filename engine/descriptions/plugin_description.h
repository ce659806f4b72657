// Descriptions the host builds at run time, for plug-ins it was not compiled with: from a
// description file beside the plug-in, or from the sizing handshake alone (parameters p0,
// p1, ... in the order given, inputs u0, u1, ..., outputs y0, y1, ..., states by index).
#pragma once

#include "block_description.h"
#include "block_instance.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::host {

// A description that owns its names and lists; build it, then seal it to get the view.
class OwnedDescription {
  public:
    OwnedDescription() = default;
    OwnedDescription(const OwnedDescription&) = delete; // the view points into itself
    OwnedDescription& operator=(const OwnedDescription&) = delete;

    std::string_view keep(std::string text) { return text_.emplace_back(std::move(text)); }
    std::vector<ParamDescription> params;
    std::vector<PortDescription> inputs, outputs;
    std::vector<StateDescription> states;
    std::vector<ParamRule> rules;

    // Fixes the view over the lists (no sensors, no wave states; every output written).
    void seal(std::string name, std::string meaning);
    const BlockDescription& description() const { return view_; }

  private:
    std::deque<std::string> text_; // stable addresses for the views
    BlockDescription view_{};
};

using SharedDescription = std::shared_ptr<const BlockDescription>;

// The view of an owned description, keeping its owner alive.
SharedDescription share(std::shared_ptr<const OwnedDescription> owner);

// Sizes a block of `plugin` with `params`; the plug-in must declare exactly as many dialog
// parameters as given. Errors name the plug-in file (the caller names the block).
SharedDescription describeByHandshake(std::shared_ptr<Plugin> plugin, const ParamSet& params,
                                      const std::string& instance_name);

} // namespace tavrel::host
