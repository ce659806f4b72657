#include "block_descriptions.h"

#include "compensator_description.h"
#include "linear_description.h"
#include "observer_description.h"
#include "piston_description.h"
#include "rig_description.h"

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
