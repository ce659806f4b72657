#include "block_descriptions.h"

#include "compensator_declarations.h"
#include "linear_declarations.h"
#include "observer_declarations.h"
#include "piston_declarations.h"
#include "rig_declarations.h"

namespace tavrel::host {

namespace {
constexpr const BlockDescription* shipped[] = {&rig::description, &piston::description,
                                               &linear::description, &observer::description,
                                               &compensator::description};
} // namespace

std::span<const BlockDescription* const> knownBlocks() { return shipped; }

const BlockDescription* findDescription(std::string_view block_name) {
    for (const BlockDescription* block : knownBlocks()) {
        if (block->name == block_name) return block;
    }
    return nullptr;
}

} // namespace tavrel::host
