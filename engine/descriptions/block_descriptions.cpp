#include "block_descriptions.h"

#include "shipped_descriptions.h" // made by the build from the blocks models/ registers

namespace tavrel::host {

namespace {
constexpr const BlockDescription* shipped[] = {TAVREL_SHIPPED_DESCRIPTIONS};
} // namespace

std::span<const BlockDescription* const> knownBlocks() { return shipped; }

const BlockDescription* findDescription(std::string_view block_name) {
    for (const BlockDescription* block : knownBlocks()) {
        if (block->name == block_name) return block;
    }
    return nullptr;
}

} // namespace tavrel::host
