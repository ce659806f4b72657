#include "fuzz_record.h"

#include "block_descriptions.h"
#include "block_instance.h"
#include "mex_host.h"
#include "scenario.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace tavrel::fuzz {

const std::vector<std::vector<double>>& shippedParams(const std::string& block) {
    static const auto all = [] {
        std::map<std::string, std::vector<std::vector<double>>> found;
        std::vector<sim::Scenario> shipped = {sim::Scenario::builtInDefault()};
        for (const char* file : {"piston.toml", "linear.toml"})
            shipped.push_back(sim::Scenario::load(std::string(TAVREL_SCENARIO_DIR "/") + file));
        for (const auto& scenario : shipped)
            for (const auto& b : scenario.blocks)
                found.emplace(b.kind, b.params);
        for (const BlockDescription* d : host::knownBlocks())
            found.emplace(std::string(d->name), defaultParams(*d));
        return found;
    }();
    const auto it = all.find(block);
    if (it == all.end()) throw std::logic_error(block + " is neither shipped nor in a scenario");
    return it->second;
}

void keepPluginsLoaded() {
    static const auto plugins = [] {
        std::vector<std::shared_ptr<host::Plugin>> opened;
        for (const BlockDescription* d : host::knownBlocks())
            opened.push_back(host::Plugin::open(host::findPlugin(std::string(d->name))));
        return opened;
    }();
    (void)plugins;
}

void silenceConsole() {
    mexSetPrintSink([](void*, const char*, size_t) {}, nullptr, nullptr, nullptr);
}

} // namespace tavrel::fuzz
