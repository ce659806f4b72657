// What the fuzzers share: the shipped parameter sets to start from, plug-ins kept loaded, a
// silenced console, and a block record as a host keeps one.
#pragma once

#include "block_record.h"

#include <memory>
#include <string>
#include <vector>

namespace tavrel::fuzz {

// The dialog parameters of the first block of kind `block` ("tavrel", "tavrel_observer", ...)
// in the shipped scenarios: complete, valid lists to start mutating from.
const std::vector<std::vector<double>>& shippedParams(const std::string& block);

// Opens the four plug-ins for the life of the process: a plug-in unloaded between inputs would
// take its coverage counters with it while the fuzzer still reads them.
void keepPluginsLoaded();

// Drops what blocks print (the console of the calling thread), to keep fuzzing output readable.
void silenceConsole();

// A block record sized by the block itself; outputs start at zero.
class FuzzRecord : public test::BlockRecord {
  public:
    explicit FuzzRecord(const std::vector<std::vector<double>>& params,
                        const char* model_name = "fuzz")
        : BlockRecord(params, model_name, 0.0) {}
};

} // namespace tavrel::fuzz
