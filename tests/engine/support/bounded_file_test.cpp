#include "bounded_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace tavrel;

namespace {

namespace fs = std::filesystem;

constexpr FileLimits small{"test file", 64, 16};

fs::path folder() {
    static const fs::path path = [] {
        const fs::path p =
            fs::temp_directory_path() / ("bounded_file_test_" + std::to_string(getpid()));
        fs::create_directories(p);
        return p;
    }();
    return path;
}

fs::path fileWith(const std::string& name, const std::string& text) {
    const fs::path path = folder() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string refusal(const fs::path& path) {
    try {
        readBoundedFile(path.string(), small);
    } catch (const FileLimitError& error) {
        return error.what();
    }
    return "";
}

// Each refusal names the file (and the line where a line is too long) and the limit; none of
// them waits for a writer or reads an endless file.
TEST(BoundedFile, RefusesWhatIsNotARegularFileOrIsOverItsLimits) {
    const fs::path fifo = folder() / "fifo";
    mkfifo(fifo.c_str(), 0600);
    const struct {
        fs::path path;
        std::string message;
    } cases[] = {
        {"/dev/zero", "/dev/zero: the test file is not a regular file"},
        {fifo, "test file is not a regular file"},
        {folder(), "is not a regular file"},
        {folder() / "missing", "cannot read the test file \"" + (folder() / "missing").string()},
        {fileWith("large", std::string(65, '\n')), "large: the test file is larger than 64 bytes"},
        {fileWith("long_line", "short\nexactly sixteen.\nseventeen chars..\n"),
         "long_line:3: a line of the test file is longer than 16 bytes"},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const std::string message = refusal(c.path);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.path << ": " << message;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.path;
    }
}

TEST(BoundedFile, ReadsAFileWithinItsLimitsWhole) {
    const std::string text = "exactly sixteen.\n\nno break at end";
    EXPECT_EQ(readBoundedFile(fileWith("fine", text).string(), small), text);
}

} // namespace
