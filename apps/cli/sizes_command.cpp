// tavrel sizes BLOCK [--params FILE]: the block's sizes vector from a command-line sizes call,
// one element per line.
#include "command_support.h"
#include "commands.h"
#include "description_file.h"
#include "exact_number.h"

#include <cstdio>
#include <memory>

namespace tavrel::cli {

namespace {

struct SizesOptions {
    std::string block;
    std::string params_file;
};

host::ParamValues paramsFor(const SizesOptions& options, const host::Plugin& plugin) {
    if (!options.params_file.empty())
        return host::paramValuesFromJson(readJsonFile(options.params_file), options.params_file);
    if (const auto described = host::describePlugin(plugin.path()))
        return defaultParams(*described);
    throw host::HostError("no default parameters for block " + plugin.blockName() +
                          "; give --params");
}

void printSizes(const SizesOptions& options) {
    const auto plugin = host::Plugin::open(pluginPathFor(options.block));
    const host::SizesVector sizes = plugin->commandLineSizes(paramsFor(options, *plugin));
    for (double value : sizes)
        std::puts(exactNumber(value).c_str());
}

} // namespace

void addSizesCommand(CLI::App& app) {
    auto options = std::make_shared<SizesOptions>();
    CLI::App* command = app.add_subcommand(
        "sizes", "Print the 40-element sizes vector of a command-line sizes call of a block");
    command->add_option("BLOCK", options->block, "deliverable name or plug-in file")->required();
    command->add_option("--params", options->params_file,
                        "JSON file: a list of dialog parameters, each a list of numbers "
                        "(default: the defaults of the block's description)");
    command->callback([options] { runCommand("sizes", [&] { printSizes(*options); }); });
}

} // namespace tavrel::cli
