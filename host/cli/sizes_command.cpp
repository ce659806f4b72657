// tavrel sizes BLOCK [--params FILE]: the block's sizes vector from a command-line sizes call,
// one element per line.
#include "command_support.h"
#include "commands.h"
#include "block_descriptions.h"

#include <cstdio>
#include <memory>

namespace tavrel::cli {

namespace {

struct SizesOptions {
    std::string block;
    std::string params_file;
};

host::ParamValues paramsFor(const SizesOptions& options, const std::string& block_name) {
    if (!options.params_file.empty())
        return host::paramValuesFromJson(readJsonFile(options.params_file), options.params_file);
    if (const BlockDescription* known = host::findDescription(block_name))
        return defaultParams(*known);
    throw host::HostError("no default parameters for block " + block_name + "; give --params");
}

void printSizes(const SizesOptions& options) {
    const auto plugin = host::Plugin::open(pluginPathFor(options.block));
    const host::SizesVector sizes =
        plugin->commandLineSizes(paramsFor(options, plugin->blockName()));
    for (double value : sizes)
        std::printf("%.17g\n", value);
}

} // namespace

void addSizesCommand(CLI::App& app) {
    auto options = std::make_shared<SizesOptions>();
    CLI::App* command = app.add_subcommand(
        "sizes", "Print the 40-element sizes vector of a command-line sizes call of a block");
    command->add_option("BLOCK", options->block, "deliverable name or plug-in file")->required();
    command->add_option("--params", options->params_file,
                        "JSON file: a list of dialog parameters, each a list of numbers "
                        "(default: the block's default well)");
    command->callback([options] { runCommand("sizes", [&] { printSizes(*options); }); });
}

} // namespace tavrel::cli
