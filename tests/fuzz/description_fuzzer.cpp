// Description files: TOML text read as the description of a user's block, then used as the
// scenario layer uses one: names to indices, the defaults checked against the rules, the output
// ports listed. A bad file must end in the host's error naming file, line and key; a file that
// reads must give a description whose names are unique and whose rules and indices stay within
// its lists; anything else is a finding.
#include "block_catalog.h"
#include "description_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace tavrel;

// The file the input is written to, removed when the process ends.
const std::string& filePath() {
    static const struct TempFile {
        std::string path = (std::filesystem::temp_directory_path() /
                            ("tavrel_description_fuzzer_" + std::to_string(getpid()) + ".toml"))
                               .string();
        ~TempFile() { std::remove(path.c_str()); }
    } file;
    return file.path;
}

void require(bool holds) {
    if (!holds) std::abort();
}

template <typename List> void requireUniqueNames(const List& entries) {
    for (size_t k = 0; k < entries.size(); ++k) {
        require(!entries[k].name.empty());
        for (size_t j = 0; j < k; ++j)
            require(entries[j].name != entries[k].name);
    }
}

void use(const BlockDescription& d) {
    require(isConsistent(d));
    requireUniqueNames(d.params);
    requireUniqueNames(d.inputs);
    requireUniqueNames(d.fixed_outputs);
    requireUniqueNames(d.extra_states);
    for (size_t k = 0; k < d.params.size(); ++k)
        require(sim::paramIndex(d, d.params[k].name) == static_cast<int>(k));
    for (size_t k = 0; k < d.extra_states.size(); ++k)
        require(stateName(d, static_cast<int>(k)) == d.extra_states[k].name);
    const ParamSet defaults = defaultParams(d);
    sim::checkParams(d, defaults);
    require(sim::outputPorts(d, defaults).size() == d.fixed_outputs.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream file(filePath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    host::SharedDescription description;
    try {
        description = host::readDescriptionFile(filePath(), "fuzz_block");
    } catch (const host::HostError&) {
        return 0;
    }
    require(description != nullptr);
    use(*description);
    return 0;
}
