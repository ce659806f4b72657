// Where the tool's own files are: the plug-ins it looks up by name, the FMU binaries the exporter
// embeds and its Python package.
#pragma once

#include <filesystem>

namespace tavrel::host {

struct ToolFolders {
    std::filesystem::path plugins;
    std::filesystem::path fmu_binaries;
    std::filesystem::path python;
};

// A program built in the build tree (the tool, the tests, the benchmarks) uses the build tree's
// folders; any other (an installed tool, wherever its tree was put) those of the installed tree
// that holds it, found from its own location, so that it never reads the build tree.
const ToolFolders& toolFolders();

} // namespace tavrel::host
