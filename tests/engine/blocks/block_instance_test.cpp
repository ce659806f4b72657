// The host driving plug-ins through their mexFunction: the real `tavrel` plug-in and a fake
// block that fails on request.
#include "block_descriptions.h"
#include "block_instance.h"
#include "block_lifecycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using namespace tavrel::host;
namespace fs = std::filesystem;

std::shared_ptr<Plugin> rigPlugin() {
    static const auto plugin = Plugin::open(TAVREL_TEST_PLUGIN_DIR "/tavrel.mexa64");
    return plugin;
}
std::shared_ptr<Plugin> fakePlugin() {
    static const auto plugin = Plugin::open(TAVREL_FAKE_PLUGIN);
    return plugin;
}
ParamValues rigParams() { return defaultParams(*findDescription("tavrel")); }
std::size_t rigParam(std::string_view name) {
    const auto& params = findDescription("tavrel")->params;
    const auto found =
        std::find_if(params.begin(), params.end(), [&](const auto& p) { return p.name == name; });
    if (found == params.end())
        throw std::logic_error("tavrel has no parameter " + std::string(name));
    return static_cast<std::size_t>(found - params.begin());
}

// The message of the HostError that `action` throws (empty if it throws none).
template <class Action> std::string hostError(Action action) {
    try {
        action();
    } catch (const HostError& error) {
        return error.what();
    }
    return {};
}

TEST(BlockInstance, DrivesTheRigModelThroughItsEntry) {
    BlockInstance rig(rigPlugin(), rigParams(), "rig1");
    EXPECT_EQ(rig.name(), "rig1");
    EXPECT_EQ(rig.sizes()[0], 302);
    EXPECT_EQ(rig.sizes()[19], 8480229);
    EXPECT_EQ(rig.numStates(), 302);
    EXPECT_EQ(rig.numInputs(), 3);
    EXPECT_EQ(rig.numOutputs(), 11);
    EXPECT_EQ(rig.numIWork(), 1);
    EXPECT_FALSE(rig.directFeedThrough(0));
    EXPECT_TRUE(rig.directFeedThrough(2));

    rig.initializeSampleTimes();
    rig.initializeConditions();
    EXPECT_EQ(rig.iwork()[0], 1);
    rig.inputs()[2] = 0.01;
    rig.outputs(0.0);
    EXPECT_EQ(rig.iwork()[0], 0);
    const double opening = rig.states()[300];
    EXPECT_GT(opening, 0.0);
    EXPECT_LT(opening, 1.0);
    EXPECT_EQ(rig.outputs()[3], opening);
    EXPECT_EQ(rig.takeConsole().rfind("Initial choke opening: ", 0), 0u);
    rig.derivatives(0.0);
    for (int i = 0; i < rig.numStates(); ++i)
        ASSERT_TRUE(std::isfinite(rig.derivatives()[i]));
    rig.terminate();
    EXPECT_EQ(rig.takeConsole(), "");
}

TEST(BlockInstance, InstancesOfOnePluginShareNothing) {
    ParamValues higher = rigParams();
    higher[rigParam("initial_top_pressure")] = {30e5};
    BlockInstance a(rigPlugin(), rigParams(), "a"), b(rigPlugin(), higher, "b");
    a.initializeConditions();
    b.initializeConditions();
    EXPECT_NE(a.states()[149], b.states()[149]);
    a.outputs(0.0);
    EXPECT_NE(a.takeConsole(), "");
    EXPECT_EQ(b.takeConsole(), "");
    EXPECT_EQ(b.iwork()[0], 1);

    a.setParam(static_cast<int>(rigParam("initial_top_pressure")), {30e5});
    a.initializeConditions();
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(a.states()[i], b.states()[i]) << i;
}

TEST(BlockInstance, RefusesParameterListsAndPortsItCannotDrive) {
    ParamValues short_list = rigParams();
    short_list.resize(21);
    EXPECT_EQ(hostError([&] { BlockInstance(rigPlugin(), short_list, "rig"); }),
              "block \"rig\" (tavrel), mdlInitializeSizes: the block declares " +
                  std::to_string(rigParams().size()) + " dialog parameters, but 21 were given");
    EXPECT_NE(hostError([&] {
                  BlockInstance(fakePlugin(), {{1}, {2}, {0}});
              }).find("output port 0 has width 2"),
              std::string::npos);
    EXPECT_NE(hostError([&] {
                  BlockInstance(fakePlugin(), {{-1}, {1}, {0}});
              }).find("asked for -1 output ports"),
              std::string::npos);
    EXPECT_NE(hostError([&] {
                  BlockInstance(fakePlugin(), {{2e9}, {1}, {0}});
              }).find("asked for 2000000000 output ports"),
              std::string::npos);
    // The limit itself is a count a block may have; one more is refused.
    constexpr double limit = tavrel::record::max_ports;
    EXPECT_EQ(BlockInstance(fakePlugin(), {{limit}, {1}, {0}}).numOutputs(), limit);
    EXPECT_NE(hostError([&] {
                  BlockInstance(fakePlugin(), {{limit + 1}, {1}, {0}});
              }).find("the host allows 0 to 1048576"),
              std::string::npos);
}

// The start: the states as the conditions left them, the start inputs written after the
// conditions and before the first outputs call, which sees the start time.
TEST(BlockLifecycle, StartsInThePlatformsOrder) {
    auto block = openBlock(fakePlugin(), {{1}, {1}, {0}});
    const double u = 0.25;
    bool conditions_before_inputs = false;
    const auto conditions = startBlock(*block, 2.5, [&](BlockInstance& b) {
        conditions_before_inputs = b.states()[0] == 1;
        b.inputs()[0] = u;
    });
    EXPECT_TRUE(conditions_before_inputs);
    EXPECT_EQ(conditions, (std::vector<double>{1, 0}));
    EXPECT_EQ(block->outputs()[0], 1 + u);
    EXPECT_EQ(block->takeConsole(), "outputs at t=2.5 task 0\n");
    endBlock(*block);
}

TEST(BlockInstance, MethodErrorsBecomeHostErrorsNamingBlockAndMethod) {
    BlockInstance failing(fakePlugin(), {{1}, {1}, {1}}, "osc");
    EXPECT_EQ(hostError([&] { failing.initializeConditions(); }),
              "block \"osc\" (tavrel_fake), mdlInitializeConditions: conditions refused");
    failing.setParam(2, {0});
    EXPECT_EQ(hostError([&] { failing.initializeConditions(); }), "");

    failing.setParam(2, {2});
    EXPECT_EQ(hostError([&] { failing.outputs(0.0); }),
              "block \"osc\" (tavrel_fake), mdlOutputs: outputs raised an error");
    EXPECT_EQ(hostError([&] { failing.derivatives(0.0); }), "");
    EXPECT_EQ(failing.derivatives()[1], -1.0);
}

// The solver's vector receives exactly the block's states' derivatives; the instance's own
// vector is untouched and receives the next plain call again.
TEST(BlockInstance, DerivativesIntoTheCallersVector) {
    BlockInstance block(fakePlugin(), {{1}, {1}, {0}});
    block.initializeConditions();
    double into[3] = {7, 7, 7};
    block.derivatives(0.0, into);
    EXPECT_EQ(std::vector<double>(into, into + 3), (std::vector<double>{0, -1, 7}));
    EXPECT_EQ(block.derivatives()[1], 0.0);
    block.derivatives(0.0);
    EXPECT_EQ(block.derivatives()[1], -1.0);
}

TEST(BlockInstance, OutputsGetTimeAndTask) {
    BlockInstance block(fakePlugin(), {{1}, {1}, {0}});
    block.initializeConditions();
    block.inputs()[0] = 0.5;
    block.outputs(1.5, -2);
    block.outputs(2.0, 3);
    EXPECT_EQ(block.outputs()[0], 1.5);
    EXPECT_EQ(block.takeConsole(), "outputs at t=1.5 task -2\noutputs at t=2 task 0\n");
}

TEST(Plugin, HandshakeRefusesAPluginFileOfAnotherName) {
    const fs::path folder =
        fs::temp_directory_path() / ("tavrel_host_test_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path renamed = folder / "renamed.mexa64";
    fs::copy_file(rigPlugin()->path(), renamed, fs::copy_options::overwrite_existing);
    const auto plugin = Plugin::open(renamed.string());
    EXPECT_EQ(plugin->blockName(), "renamed");
    EXPECT_NE(hostError([&] { BlockInstance(plugin, rigParams()); })
                  .find("S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME "
                        "tavrel\", whereas name of the S-function MEX file is \"renamed\""),
              std::string::npos);
    fs::remove_all(folder);
}

TEST(Plugin, OpeningAndFindingReportWhatIsMissing) {
    EXPECT_NE(hostError([] { Plugin::open("/nonexistent/tavrel.mexa64"); }).find("cannot open"),
              std::string::npos);
    EXPECT_NE(hostError([] { Plugin::open(TAVREL_MX_LIBRARY); }).find("has no mexFunction"),
              std::string::npos);

    setenv("TAVREL_PLUGIN_PATH", "/nonexistent:" TAVREL_TEST_PLUGIN_DIR, 1);
    EXPECT_EQ(findPlugin("tavrel"), TAVREL_TEST_PLUGIN_DIR "/tavrel.mexa64");
    EXPECT_NE(hostError([] { findPlugin("tavrel_nothing"); }).find("unknown block"),
              std::string::npos);
    EXPECT_NE(hostError([] { findPlugin("../plugins/tavrel"); }).find("invalid block name"),
              std::string::npos);
    unsetenv("TAVREL_PLUGIN_PATH");
    EXPECT_EQ(findPlugin("tavrel"), TAVREL_TEST_PLUGIN_DIR "/tavrel.mexa64");

    // Name or path: a folder or the suffix makes a file, taken from the base folder if relative.
    const struct {
        const char* given;
        const char* base;
        std::string path;
    } rows[] = {
        {"tavrel", "/base", TAVREL_TEST_PLUGIN_DIR "/tavrel.mexa64"},
        {"my.mexa64", "", "my.mexa64"},
        {"my.mexa64", "/base", "/base/my.mexa64"},
        {"sub/my", "/base", "/base/sub/my"},
        {"/abs/my.mexa64", "/base", "/abs/my.mexa64"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(pluginPath(row.given, row.base), row.path) << row.given;
}

TEST(Plugin, CommandLineSizes) {
    const SizesVector sizes = rigPlugin()->commandLineSizes(rigParams());
    for (int k = 0; k < 40; ++k) {
        const double want = k == 0    ? 302
                            : k == 2  ? 11
                            : k == 3  ? 3
                            : k == 7  ? static_cast<double>(rigParams().size())
                            : k == 8  ? 1
                            : k == 19 ? 8480229
                            : k == 23 ? 8192
                                      : 0;
        EXPECT_EQ(sizes[static_cast<size_t>(k)], want) << "element " << k;
    }
    EXPECT_EQ(hostError([] {
                  rigPlugin()->commandLineSizes({{1}, {2}, {3}});
              }),
              "tavrel sizes call: MEX level2 S-function \"tavrel\" needs at least " +
                  std::to_string(rigParam("sensor_positions") + 1) +
                  " dialog parameters, but 3 were given");
}

} // namespace
