// A plug-in the host has no description of, described from its sizing handshake: parameters
// p0, p1, ... in the order given, inputs u0, u1, ..., outputs y0, y1, ..., states by index.
#pragma once

#include "block_description.h"
#include "block_instance.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::host {

class HandshakeDescription {
public:
    // Sizes a block of `plugin` with `params`; the plug-in must declare exactly as many dialog
    // parameters as given. Errors name the block instance and the plug-in file.
    static std::shared_ptr<const HandshakeDescription> of(std::shared_ptr<Plugin> plugin,
                                                          const ParamSet& params,
                                                          const std::string& instance_name);

    const BlockDescription& description() const { return view_; }

    HandshakeDescription(const HandshakeDescription&) = delete; // the view points into itself
    HandshakeDescription& operator=(const HandshakeDescription&) = delete;

private:
    HandshakeDescription() = default;
    std::string_view keep(std::string text) { return text_.emplace_back(std::move(text)); }

    std::deque<std::string> text_; // stable addresses for the views
    std::vector<ParamDescription> params_;
    std::vector<PortDescription> inputs_, outputs_;
    BlockDescription view_{};
};

} // namespace tavrel::host
