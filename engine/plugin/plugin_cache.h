// Plug-ins opened once per process: the scenario's resolve step, the simulation and the study
// runner all take a plug-in from here, so that a file is loaded and relocated once however many
// scenarios, cases and blocks use it (forked study workers inherit what the runner opened).
#pragma once

#include "block_instance.h"

#include <memory>
#include <string>

namespace tavrel::host {

// The plug-in at `path` (as pluginPath resolved it), opened at its first use and kept open for
// the life of the process. A file that fails to open is not remembered: the next use tries it
// again and reports the same error.
std::shared_ptr<Plugin> openPluginOnce(const std::string& path);

} // namespace tavrel::host
