// How the engine wires blocks: the order that respects direct feed-through, and the logged
// columns a scenario's patterns select. Free of plug-ins, so each is testable on its own.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::sim {

// Blocks that read, through a direct feed-through input, the outputs of `reads[b]`.
// Returns an order in which every block comes after those it reads; throws LoopError naming
// the blocks left in a loop.
struct LoopError : std::runtime_error {
    std::vector<int> blocks;
    explicit LoopError(std::vector<int> in_loop)
        : std::runtime_error("algebraic loop"), blocks(std::move(in_loop)) {}
};
std::vector<int> feedThroughOrder(const std::vector<std::vector<int>>& reads);

// Indices of the names that match at least one glob pattern (all names if there are no
// patterns); throws UnmatchedPattern for a pattern that matches no name.
struct UnmatchedPattern : std::runtime_error {
    using std::runtime_error::runtime_error;
};
std::vector<size_t> selectByPatterns(const std::vector<std::string>& names,
                                     const std::vector<std::string>& patterns);

} // namespace tavrel::sim
