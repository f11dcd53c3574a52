// kelvara-render run as a program: exit codes, messages and files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/png_io.h"

using namespace kelvara;
namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::path(KELVARA_GOLDEN_OUT_DIR) / "tool";
    fs::create_directories(dir);
    return dir / name;
}

struct ToolRun {
    int status = -1;
    std::string err;
};

// Runs the tool with `args` (already quoted for the shell), stderr captured.
ToolRun runTool(const std::string& args) {
    // One file per test: CTest runs the tests of this binary in parallel.
    const fs::path errFile =
        scratch(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".stderr");
    const std::string command =
        std::string(KELVARA_RENDER_TOOL) + " " + args + " >/dev/null 2>'" + errFile.string() + "'";
    const int raw = std::system(command.c_str());
    ToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    r.err = text.str();
    return r;
}

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

} // namespace

TEST(RenderTool, badCommandLineExitsWithTwoAndOneLine) {
    for (const char* args :
         {"--bogus --out x.png", "--size 12 --out x.png", "--set nosuch=1 --out x.png", ""}) {
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.status, 2) << args;
        ASSERT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args << ": " << r.err; // exactly one line
        EXPECT_EQ(r.err.rfind("kelvara-render: ", 0), 0u) << r.err;
    }
}

TEST(RenderTool, helpExitsWithZero) {
    EXPECT_EQ(runTool("--help").status, 0);
    EXPECT_EQ(runTool("-h").status, 0);
}

TEST(RenderTool, unreadablePictureOrOutputExitsWithOne) {
    const fs::path missing = scratch("no_such_picture.png");
    fs::remove(missing);
    ToolRun r =
        runTool("--picture " + quoted(missing) + " --size 64x48 --out " + quoted(scratch("unused.png")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(missing.string()), std::string::npos) << r.err;

    r = runTool("--pattern --size 64x48 --out /nonexistent/dir/out.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/nonexistent/dir/out.png"), std::string::npos) << r.err;
}

TEST(RenderTool, picturesFromFilesAreShownLikeThePattern) {
    // The pattern saved as a PNG of the same size is the same desktop.
    const fs::path desk = scratch("desk.png");
    std::string error;
    ASSERT_TRUE(writePng(desk.string(), makeTestPattern(1024, 768), error)) << error;
    const fs::path fromFile = scratch("from_file.png");
    const fs::path fromPattern = scratch("from_pattern.png");
    const std::string common = " --size 128x96 --mode 1 --frames 5 --out ";
    ASSERT_EQ(runTool("--picture " + quoted(desk) + common + quoted(fromFile)).status, 0);
    ASSERT_EQ(runTool("--pattern" + common + quoted(fromPattern)).status, 0);
    RgbImage a, b;
    ASSERT_TRUE(readPng(fromFile.string(), a, error)) << error;
    ASSERT_TRUE(readPng(fromPattern.string(), b, error)) << error;
    EXPECT_EQ(a.width, 128);
    EXPECT_EQ(a.height, 96);
    EXPECT_EQ(a.rgb, b.rgb);
}

TEST(RenderTool, atWritesOneNumberedFilePerFrame) {
    for (int frame : {1, 3, 7})
        fs::remove(scratch("seq-" + std::to_string(frame) + ".png"));
    ASSERT_EQ(runTool("--size 64x48 --at 7,1,3 --out " + quoted(scratch("seq-%d.png"))).status, 0);
    for (int frame : {1, 3, 7}) {
        RgbImage picture;
        std::string error;
        EXPECT_TRUE(readPng(scratch("seq-" + std::to_string(frame) + ".png").string(), picture, error))
            << error;
        EXPECT_EQ(picture.width, 64);
    }
    EXPECT_FALSE(fs::exists(scratch("seq-2.png")));
}
