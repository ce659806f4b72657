// Plug-ins opened once per process: every user of a path shares one opened file, and a file that
// fails to open is tried again rather than remembered as missing.
#include "plugin_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace tavrel::host;

TEST(PluginCache, OpensAPathOnceAndRetriesAFailure) {
    EXPECT_EQ(openPluginOnce(TAVREL_FAKE_PLUGIN).get(), openPluginOnce(TAVREL_FAKE_PLUGIN).get());

    // Missing at first, then there: the second use finds it.
    const auto path = std::filesystem::temp_directory_path() / "tavrel_cache_test_late.mexa64";
    std::filesystem::remove(path);
    EXPECT_THROW(openPluginOnce(path.string()), HostError);
    std::filesystem::copy_file(TAVREL_FAKE_PLUGIN, path);
    EXPECT_NE(openPluginOnce(path.string()), nullptr);
    std::filesystem::remove(path);
}

} // namespace
