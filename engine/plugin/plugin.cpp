// Loading plug-in files and finding them by block name.
#include "block_instance.h"
#include "mex_protocol.h"
#include "tool_layout.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

namespace tavrel::host {

namespace fs = std::filesystem;

namespace {

std::string fileStem(const std::string& path) { return fs::path(path).stem().string(); }

bool isBlockName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name) {
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!word) return false;
    }
    return true;
}

std::vector<fs::path> splitSearchPath(const std::string& list) {
    std::vector<fs::path> folders;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start) folders.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

// TAVREL_PLUGIN_PATH replaces the tool's own folder when it is set.
std::vector<fs::path> pluginFolders() {
    if (const char* list = std::getenv("TAVREL_PLUGIN_PATH"); list && *list)
        return splitSearchPath(list);
    return {toolFolders().plugins};
}

} // namespace

std::shared_ptr<Plugin> Plugin::open(const std::string& path) {
    std::shared_ptr<Plugin> plugin(new Plugin);
    plugin->path_ = path;
    plugin->block_name_ = fileStem(path);
    plugin->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin->handle_) {
        const char* reason = dlerror();
        throw HostError("cannot open plug-in " + path + ": " + (reason ? reason : "unknown"));
    }
    plugin->entry_ = reinterpret_cast<mexFunctionPointer>(dlsym(plugin->handle_, "mexFunction"));
    if (!plugin->entry_) throw HostError("plug-in " + path + " has no mexFunction");
    return plugin;
}

std::shared_ptr<Plugin> Plugin::linked(const std::string& block_name, mexFunctionPointer entry) {
    if (!entry) throw HostError("block " + block_name + " has no mexFunction");
    std::shared_ptr<Plugin> plugin(new Plugin);
    plugin->path_ = "(linked)";
    plugin->block_name_ = block_name;
    plugin->entry_ = entry;
    return plugin;
}

Plugin::~Plugin() {
    if (handle_) dlclose(handle_);
}

SizesVector Plugin::commandLineSizes(const ParamValues& params) const {
    const ArrayPtr none = emptyArray();
    const ArrayPtr flag = scalarArray(0);
    std::vector<ArrayPtr> values;
    std::vector<const mxArray*> prhs{none.get(), none.get(), none.get(), flag.get()};
    for (const auto& param : params) {
        values.push_back(rowVectorArray(param));
        prhs.push_back(values.back().get());
    }
    mxArray* plhs[1] = {nullptr};
    std::string console; // a sizes call prints nothing the caller could use
    std::string failure;
    {
        ConsoleCapture capture(console);
        failure = callEntry(entry_, 1, plhs, static_cast<int>(prhs.size()), prhs.data());
    }
    ArrayPtr returned(plhs[0]);
    if (!failure.empty()) throw HostError(block_name_ + " sizes call: " + failure);
    return takeSizesVector(returned.release());
}

std::string pluginPath(const std::string& name_or_path, const std::string& base_dir) {
    const bool is_path = name_or_path.find('/') != std::string::npos ||
                         (name_or_path.size() > 7 && name_or_path.ends_with(".mexa64"));
    if (!is_path) return findPlugin(name_or_path);
    const fs::path path(name_or_path);
    return path.is_relative() && !base_dir.empty() ? (fs::path(base_dir) / path).string()
                                                   : name_or_path;
}

std::string findPlugin(const std::string& block_name) {
    if (!isBlockName(block_name))
        throw HostError("invalid block name \"" + block_name + "\" (letters, digits and _ only)");
    std::string searched;
    for (const fs::path& folder : pluginFolders()) {
        const fs::path candidate = folder / (block_name + ".mexa64");
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate.string();
        searched += (searched.empty() ? "" : ", ") + folder.string();
    }
    throw HostError("unknown block \"" + block_name + "\": no " + block_name + ".mexa64 in " +
                    (searched.empty() ? "any plug-in folder" : searched));
}

} // namespace tavrel::host
