// Writing an FMU: a zip archive of named entries, from memory or from files.
#pragma once

#include <string>
#include <vector>

namespace tavrel::fmi {

struct ArchiveEntry {
    std::string name;      // path inside the archive, e.g. "binaries/linux64/tavrel.so"
    std::string text;      // the entry's content ...
    std::string from_file; // ... or, when set, the file to copy in
};

// Writes the archive to a temporary file beside `path` and renames it into place, so that a
// failure leaves no half-written archive; throws std::runtime_error naming the file.
void writeArchive(const std::string& path, const std::vector<ArchiveEntry>& entries);

} // namespace tavrel::fmi
