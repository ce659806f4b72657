#include "wiring.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tavrel::sim;

namespace {

TEST(Wiring, FeedThroughOrderPutsEveryBlockAfterThoseItReads) {
    // 0 reads 2, 2 reads 1: 1, 2, 0; block 3 reads nothing.
    const std::vector<std::vector<int>> reads = {{2}, {}, {1}, {}};
    const auto order = feedThroughOrder(reads);
    auto at = [&](int b) { return std::find(order.begin(), order.end(), b) - order.begin(); };
    ASSERT_EQ(order.size(), 4u);
    EXPECT_LT(at(1), at(2));
    EXPECT_LT(at(2), at(0));
    try {
        feedThroughOrder({{1}, {2}, {1}, {}});
        FAIL() << "no loop found";
    } catch (const LoopError& loop) {
        EXPECT_EQ(loop.blocks, (std::vector<int>{0, 1, 2})); // 0 waits on the loop
    }
}

TEST(Wiring, PatternsSelectColumnsAndEachMustMatch) {
    const std::vector<std::string> names = {"rig.bottom_pressure", "rig.top_flow", "obs.top_flow"};
    EXPECT_EQ(selectByPatterns(names, {}), (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(selectByPatterns(names, {"*.top_flow"}), (std::vector<size_t>{1, 2}));
    EXPECT_EQ(selectByPatterns(names, {"rig.*", "rig.top_flow"}), (std::vector<size_t>{0, 1}));
    EXPECT_THROW(selectByPatterns(names, {"rig.*", "rig.nothing"}), UnmatchedPattern);
}

} // namespace
