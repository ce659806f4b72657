#include "fmu_export.h"

#include "block_knowledge.h"
#include "fmu_archive.h"
#include "model_description.h"
#include "tool_layout.h"

#include <filesystem>
#include <sstream>

namespace tavrel::fmi {

namespace fs = std::filesystem;

namespace {

FmuLayout layoutOf(const ExportDescription& d, const host::ParamValues& params) {
    FmuLayout layout;
    layout.block = d.block;
    for (std::size_t k = 0; k < d.params.size(); ++k)
        layout.params.push_back({d.params[k].name, d.params[k].shape, params[k]});
    for (const auto& input : d.inputs) {
        layout.inputs.push_back(input.name);
        layout.input_units.push_back(input.unit);
    }
    for (const auto& output : d.outputs)
        layout.outputs.push_back({output.port, output.name});
    for (const auto& state : d.states) {
        layout.states.push_back(state.name);
        layout.state_units.push_back(state.unit);
    }
    layout.guid = structureGuid(layout);
    return layout;
}

ExportedBlock exportedBlock(const ExportRequest& request) {
    const auto plugin = host::Plugin::open(host::findPlugin(request.block));
    host::BlockInstance instance(plugin, request.params);
    ExportedBlock block;
    block.description = describeBlock(request.block, request.params, instance.numStates());
    if (block.description.inputs.size() != static_cast<std::size_t>(instance.numInputs()))
        throw std::runtime_error(
            "block " + request.block + " declares " + std::to_string(instance.numInputs()) +
            " inputs, its description " + std::to_string(block.description.inputs.size()));
    for (int p = 0; p < instance.numInputs(); ++p)
        block.feed_through.push_back(instance.directFeedThrough(p));
    block.layout = layoutOf(block.description, request.params);
    block.model_exchange = request.interfaces != FmuInterfaces::co_simulation;
    block.co_simulation = request.interfaces != FmuInterfaces::model_exchange;
    return block;
}

} // namespace

std::string findFmuBinary(const std::string& block) {
    const fs::path folder = host::toolFolders().fmu_binaries;
    const fs::path file = folder / (block + ".so");
    std::error_code error;
    if (fs::is_regular_file(file, error)) return file.string();
    throw std::runtime_error("no FMU binary " + file.filename().string() + " in " +
                             folder.string() + " (build the target tavrel_fmu_binaries)");
}

void exportFmu(const ExportRequest& request) {
    const ExportedBlock block = exportedBlock(request);
    std::ostringstream layout;
    writeLayout(layout, block.layout);
    writeArchive(request.output,
                 {{"modelDescription.xml", modelDescriptionXml(block), {}},
                  {"binaries/linux64/" + request.block + ".so", {}, findFmuBinary(request.block)},
                  {std::string("resources/") + layout_file_name, layout.str(), {}}});
}

} // namespace tavrel::fmi
