// `tavrel fmu`: one block exported as an FMI 2.0 FMU.
#pragma once

#include "block_instance.h"

#include <string>

namespace tavrel::fmi {

enum class FmuInterfaces { model_exchange, co_simulation, both };

struct ExportRequest {
    std::string block;        // a deliverable: "tavrel", "tavrel_piston", ...
    host::ParamValues params; // the export parameter set; it fixes the block's structure
    FmuInterfaces interfaces = FmuInterfaces::both;
    std::string output; // the .fmu file
};

// The FMU binary of a block, in the tool's FMU folder (toolFolders()). Throws naming the place
// searched.
std::string findFmuBinary(const std::string& block);

// Sizes the block through its plug-in, describes it and writes the FMU. Throws
// std::runtime_error (or host::HostError) naming the problem; nothing is left on failure.
void exportFmu(const ExportRequest& request);

} // namespace tavrel::fmi
