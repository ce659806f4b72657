#include "plugin_cache.h"

#include <map>
#include <mutex>

namespace tavrel::host {

std::shared_ptr<Plugin> openPluginOnce(const std::string& path) {
    static std::mutex guard;
    // Never destroyed: a block instance held by a static of its own may outlive any order of
    // destruction at exit, and the plug-in must stay mapped while it does.
    static auto* opened = new std::map<std::string, std::shared_ptr<Plugin>>;
    const std::lock_guard<std::mutex> lock(guard);
    auto& plugin = (*opened)[path];
    if (!plugin) {
        try {
            plugin = Plugin::open(path);
        } catch (...) {
            opened->erase(path);
            throw;
        }
    }
    return plugin;
}

} // namespace tavrel::host
