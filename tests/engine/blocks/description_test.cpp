// Each shipped block's description against its plug-in and the shipped files that carry its
// parameters: a count, a feed-through flag or a default that drifts fails here.
#include "block_descriptions.h"
#include "block_instance.h"
#include "eval_json.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using namespace tavrel;
using namespace tavrel::host;

class ShippedBlock : public ::testing::TestWithParam<const BlockDescription*> {};

TEST_P(ShippedBlock, PluginDeclaresWhatItsDescriptionSays) {
    const BlockDescription& d = *GetParam();
    const auto plugin = Plugin::open(TAVREL_TEST_PLUGIN_DIR "/" + std::string(d.name) + ".mexa64");
    const ParamSet params = defaultParams(d);
    BlockInstance block(plugin, params);
    EXPECT_EQ(block.sizes()[7], d.paramCount());
    EXPECT_EQ(block.numStates(), d.stateCount());
    ASSERT_EQ(block.numInputs(), static_cast<int>(d.inputs.size()));
    for (const auto& port : d.inputs)
        EXPECT_EQ(block.directFeedThrough(port.index), port.direct_feed_through) << port.name;
    const auto sensors =
        d.hasSensors() ? params[static_cast<size_t>(d.sensor_positions_param)].size() : 0;
    EXPECT_EQ(block.numOutputs(), static_cast<int>(d.fixed_outputs.size() + sensors));
    for (const auto& param : d.params) {
        EXPECT_EQ(param.defaults.values().size() == 1, !param.isVector()) << param.name;
    }
}

INSTANTIATE_TEST_SUITE_P(All, ShippedBlock,
                         ::testing::ValuesIn(knownBlocks().begin(), knownBlocks().end()),
                         [](const auto& info) { return std::string(info.param->name); });

TEST(Descriptions, EvalExampleRequestHoldsTheRigDefaults) {
    std::ifstream in(TAVREL_SOURCE_DIR "/scenarios/eval_default.json");
    std::stringstream text;
    text << in.rdbuf();
    const Json request = Json::parse(text.str());
    EXPECT_EQ(paramValuesFromJson(request["params"], "eval_default.json"),
              defaultParams(*findDescription(request["block"].get<std::string>())));
}

} // namespace
