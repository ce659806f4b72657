// The FMU binary's view of its unpacked FMU: the resources folder a master passes as a URI.
#pragma once

#include "fmu_layout.h"

#include <string>

namespace tavrel::fmi {

// The local folder of a "file:" URI ("file:///a/b", "file:/a/b", "file://localhost/a/b",
// percent-escapes decoded); throws std::runtime_error for anything else.
std::string folderOfFileUri(const std::string& uri);

// Reads the layout from the resources folder at `uri`; throws naming the file and the problem.
FmuLayout readResourceLayout(const char* uri);

} // namespace tavrel::fmi
