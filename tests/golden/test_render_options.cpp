#include <gtest/gtest.h>

#include <cstring>

#include "tools/render_options.h"
#include "unit/setting_values.h"

using namespace kelvara;
using kelvara::test::fieldValue;

namespace {

struct Parsed {
    bool ok = false;
    RenderOptions options;
    std::string error;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "kelvara-render");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Parsed p;
    p.ok = parseRenderOptions(static_cast<int>(args.size()), argv.data(), p.options, p.error);
    return p;
}

} // namespace

TEST(RenderOptions, defaultsNeedOnlyAnOutputFile) {
    const Parsed p = parse({"--out", "a.png"});
    ASSERT_TRUE(p.ok) << p.error;
    const OffscreenRun& run = p.options.run;
    EXPECT_EQ(run.width, 1024);
    EXPECT_EQ(run.height, 768);
    EXPECT_EQ(run.seed, 1u);
    EXPECT_DOUBLE_EQ(run.intervalMs, 1000.0 / 60.0);
    EXPECT_EQ(run.frames, 1);
    EXPECT_TRUE(run.captureAt.empty());
    EXPECT_TRUE(p.options.picture.empty());
    EXPECT_EQ(p.options.out, "a.png");
    const Settings defaults;
    for (const SettingField& f : kSettingFields)
        EXPECT_EQ(fieldValue(run.settings, f), fieldValue(defaults, f)) << f.name;
}

TEST(RenderOptions, everyOptionIsRead) {
    const Parsed p = parse({"--size", "512x384", "--picture", "desk.png", "--mode", "3", "--seed",
                            "4294967295", "--interval-ms", "40", "--frames", "200", "--at", "90,2,150",
                            "--out", "shot-%03d.png", "--set", "useLinear=0", "--set=xyAmplitude=12.5"});
    ASSERT_TRUE(p.ok) << p.error;
    const OffscreenRun& run = p.options.run;
    EXPECT_EQ(run.width, 512);
    EXPECT_EQ(run.height, 384);
    EXPECT_EQ(p.options.picture, "desk.png");
    EXPECT_EQ(run.settings.Mode, 3);
    EXPECT_EQ(run.seed, 4294967295u);
    EXPECT_DOUBLE_EQ(run.intervalMs, 40.0);
    EXPECT_EQ(run.frames, 200);
    EXPECT_EQ(run.captureAt, (std::vector<int32_t>{90, 2, 150}));
    EXPECT_EQ(run.settings.useLinear, 0);
    EXPECT_EQ(run.settings.xyAmplitude, 12.5f);
}

TEST(RenderOptions, setReachesEverySettingByName) {
    for (const SettingField& f : kSettingFields) {
        // 128 is a valid value for every field, the texture sizes included.
        const Parsed p = parse({"--set", std::string(f.name) + "=128", "--out", "a.png"});
        ASSERT_TRUE(p.ok) << f.name << ": " << p.error;
        EXPECT_EQ(fieldValue(p.options.run.settings, f), 128.0) << f.name;
        // Only that one changed.
        const Settings defaults;
        for (const SettingField& other : kSettingFields) {
            if (other.offset != f.offset) {
                EXPECT_EQ(fieldValue(p.options.run.settings, other), fieldValue(defaults, other))
                    << other.name;
            }
        }
    }
}

TEST(RenderOptions, modeWinsOverSetModeInEitherOrder) {
    for (const auto& args : {std::vector<std::string>{"--mode", "2", "--set", "Mode=4", "--out", "a.png"},
                             std::vector<std::string>{"--set", "Mode=4", "--mode", "2", "--out", "a.png"}}) {
        const Parsed p = parse(args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.options.run.settings.Mode, 2);
    }
    const Parsed setOnly = parse({"--set", "Mode=4", "--out", "a.png"});
    ASSERT_TRUE(setOnly.ok) << setOnly.error;
    EXPECT_EQ(setOnly.options.run.settings.Mode, 4);
}

TEST(RenderOptions, framesDefaultToTheLargestCaptureFrame) {
    const Parsed p = parse({"--at", "50,2,120", "--out", "f%d.png"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.run.frames, 120);
}

TEST(RenderOptions, badCommandLinesGiveAOneLineReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus", "--out", "a.png"},
        {"--out", "a.png", "--seed"}, // value missing
        {"--out", "a.png", "stray"},
        {"--size", "100", "--out", "a.png"},
        {"--size", "0x10", "--out", "a.png"},
        {"--size", "640x480x2", "--out", "a.png"},
        {"--size", "99999x10", "--out", "a.png"},
        {"--seed", "-1", "--out", "a.png"},
        {"--seed", "4294967296", "--out", "a.png"},
        {"--mode", "two", "--out", "a.png"},
        {"--interval-ms", "0", "--out", "a.png"},
        {"--interval-ms", "nan", "--out", "a.png"},
        {"--interval-ms", "16ms", "--out", "a.png"},
        {"--frames", "0", "--out", "a.png"},
        {"--at", "5", "--frames", "3", "--out", "f%d.png"},
        {"--at", "1,,2", "--out", "f%d.png"},
        {"--at", "0", "--out", "f%d.png"},
        {"--at", "2,5", "--out", "same.png"}, // no place for the frame number
        {"--set", "nosuch=1", "--out", "a.png"},
        {"--set", "Mode=1.5", "--out", "a.png"}, // an integer setting
        {"--set", "x_div=abc", "--out", "a.png"},
        {"--set", "x_div=1e39", "--out", "a.png"}, // beyond a float
        {"--set", "x_div", "--out", "a.png"},
        {"--picture", "a.png", "--pattern", "--out", "a.png"},
        {}, // no output
    };
    for (const auto& args : bad) {
        std::string line;
        for (const auto& a : args)
            line += a + " ";
        const Parsed p = parse(args);
        EXPECT_FALSE(p.ok) << line;
        EXPECT_FALSE(p.error.empty()) << line;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << line << ": " << p.error;
    }
    EXPECT_NE(parse({"--bogus", "--out", "a.png"}).error.find("--bogus"), std::string::npos);
    EXPECT_NE(parse({"--set", "nosuch=1", "--out", "a.png"}).error.find("nosuch"), std::string::npos);
}

TEST(RenderOptions, outputNamesNumberTheFrame) {
    EXPECT_EQ(renderOutputPath("f%d.png", 7), "f7.png");
    EXPECT_EQ(renderOutputPath("out/wave-%04d.png", 90), "out/wave-0090.png");
    EXPECT_EQ(renderOutputPath("%03d", 12345), "12345"); // a width is a minimum
    EXPECT_EQ(renderOutputPath("100%%-%d.png", 2), "100%-2.png");
    EXPECT_EQ(renderOutputPath("plain.png", 2), "");
    EXPECT_EQ(renderOutputPath("%d-%d.png", 2), "");
    EXPECT_EQ(renderOutputPath("%s.png", 2), "");
    EXPECT_EQ(renderOutputPath("f%", 2), "");
}

TEST(RenderOptions, helpNamesEveryOptionAndSetting) {
    const Parsed p = parse({"--help"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.help);
    const std::string help = renderHelpText();
    for (const char* option : {"--size", "--picture", "--pattern", "--mode", "--set", "--seed",
                               "--interval-ms", "--frames", "--at", "--out", "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    for (const SettingField& f : kSettingFields)
        EXPECT_NE(help.find(std::string("  ") + f.name + " "), std::string::npos) << f.name;
}
