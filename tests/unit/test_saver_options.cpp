#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/saver_options.h"

namespace kelvara {
namespace {

ParsedOptions parse(std::vector<std::string> words, const char* env = nullptr) {
    words.insert(words.begin(), "kelvara");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    return parseSaverOptions(static_cast<int>(words.size()), argv.data(), env);
}

std::size_t fieldIndex(const char* name) {
    for (std::size_t i = 0; i < kSettingFields.size(); ++i)
        if (std::string(kSettingFields[i].name) == name)
            return i;
    return kSettingFields.size();
}

TEST(SaverOptions, xscreensaverConventionsPickTheWindowDrawnInto) {
    ParsedOptions p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::FullScreen);

    p = parse({"-root"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::IntoWindow);
    EXPECT_TRUE(p.options.intoRoot);

    p = parse({"-window-id", "0x1a00007"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::IntoWindow);
    EXPECT_EQ(p.options.window, 0x1a00007u);
    EXPECT_FALSE(p.options.intoRoot);
    p = parse({"--window-id=4242"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.window, 4242u);

    // The environment's window replaces the root, and is used with no run
    // option at all, but not when the user asked for another run.
    p = parse({"-root"}, "0x200003");
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.options.intoRoot);
    EXPECT_EQ(p.options.window, 0x200003u);
    p = parse({}, "77");
    EXPECT_EQ(p.options.kind, RunKind::IntoWindow);
    EXPECT_EQ(p.options.window, 77u);
    p = parse({"--window"}, "77");
    EXPECT_EQ(p.options.kind, RunKind::Windowed);
    p = parse({"-root"}, "not a window");
    EXPECT_TRUE(p.options.intoRoot);
}

TEST(SaverOptions, windowsSwitchesKeepTheirMeaning) {
    ParsedOptions p = parse({"/s"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::FullScreen);
    p = parse({"/p", "1234"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::IntoWindow);
    EXPECT_EQ(p.options.window, 1234u);
    EXPECT_TRUE(p.options.preview);
    p = parse({"/c"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::Configure);
    p = parse({"--list-modes"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::ListModes);
    // Settings options may come before or after the switch.
    p = parse({"/s", "--Mode", "2"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.kind, RunKind::FullScreen);
    ASSERT_EQ(p.options.overrides.size(), 1u);

    for (const auto& bad :
         std::vector<std::vector<std::string>>{{"/p"}, {"/p", "abc"}, {"/a", "12"}, {"/q"}, {"word"}}) {
        p = parse(bad);
        EXPECT_FALSE(p.ok) << bad[0];
        EXPECT_FALSE(p.error.empty());
    }
}

TEST(SaverOptions, badCommandLinesAreRefusedWithAReason) {
    struct Case {
        std::vector<std::string> words;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--x_div"}, "needs a value"},
        {{"--x_div", "many"}, "--x_div needs a number"},
        {{"--x_div", "inf"}, "--x_div needs a number"},
        {{"--Mode", "1.5"}, "--Mode needs a whole number"},
        {{"--Mode", "4294967296"}, "--Mode needs a whole number"},
        {{"-window-id", "0"}, "-window-id needs a window number"},
        {{"-window-id", "-5"}, "-window-id needs a window number"},
        {{"-root", "--window"}, "give only one"},
        {{"--window", "/s"}, "give only one"},
        {{"--settings", ""}, "--settings needs a file name"},
    };
    for (const Case& c : cases) {
        const ParsedOptions p = parse(c.words);
        EXPECT_FALSE(p.ok) << c.words[0];
        EXPECT_NE(p.error.find(c.says), std::string::npos) << p.error;
    }
}

TEST(SaverOptions, oddWordsGiveAOneLineReason) {
    const std::string huge(100000, 'q');
    const std::vector<std::vector<std::string>> cases = {
        {"--" + huge},
        {"--x_div", huge},
        {"--Mode", "1\n2"},
        {"-window-id", "0x12\r\nkelvara: fake line"},
        {"--bogus\xff\xfe"},
        {"/q\x1b[31m"},
        {""},
        {"", ""},
        {"/s", ""},
    };
    for (const std::vector<std::string>& words : cases) {
        const ParsedOptions p = parse(words);
        EXPECT_FALSE(p.ok) << words[0].substr(0, 20);
        EXPECT_FALSE(p.error.empty());
        EXPECT_LT(p.error.size(), 200u) << p.error.substr(0, 200);
        for (char c : p.error)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == '\x7f') << p.error;
        EXPECT_EQ(p.error.find('\xff'), std::string::npos) << p.error;
    }
    // The odd byte is shown, not dropped.
    EXPECT_NE(parse({"--bogus\xff"}).error.find("--bogus\\xFF"), std::string::npos);
}

TEST(SaverOptions, settingOptionsOverrideForTheRunAndRevertForTheSave) {
    ParsedOptions p = parse({"--x_div", "30", "--Mode", "-3", "--no-vsync", "--settings", "/tmp/k", "-fps"});
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.options.waitForRetrace);
    EXPECT_EQ(p.options.maxFps, kMaxFpsDisplayRate) << "--no-vsync alone keeps the cap";
    EXPECT_TRUE(p.options.showFrameRate);
    EXPECT_EQ(p.options.settingsFile, "/tmp/k");
    Settings stored;
    stored.x_div = 12;
    stored.Mode = 1;
    Settings run = stored;
    applyOverrides(run, p.options.overrides);
    EXPECT_EQ(run.x_div, 30.0f);
    EXPECT_EQ(run.Mode, -3);
    run.y_div = 7; // changed during the run (a random preset): kept
    revertOverrides(run, stored, p.options.overrides);
    EXPECT_EQ(run.x_div, 12.0f);
    EXPECT_EQ(run.Mode, 1);
    EXPECT_EQ(run.y_div, 7.0f);
}

TEST(SaverOptions, everySettingHasAnOptionThatTakesItsDefault) {
    const std::vector<std::string> accepted = acceptedOptionNames();
    for (const SettingField& f : kSettingFields) {
        const std::string name = std::string("--") + f.name;
        EXPECT_NE(std::find(accepted.begin(), accepted.end(), name), accepted.end()) << name;
        const ParsedOptions p = parse({name, std::to_string(f.defaultValue)});
        ASSERT_TRUE(p.ok) << name;
        ASSERT_EQ(p.options.overrides.size(), 1u);
        EXPECT_EQ(p.options.overrides[0].field, fieldIndex(f.name));
    }
    const std::string help = helpText();
    for (const std::string& name : accepted)
        EXPECT_NE(help.find(name), std::string::npos) << name;
}

TEST(SaverOptions, windowIdsReadAsXToolsPrintThem) {
    EXPECT_EQ(parseWindowId("0x400001"), 0x400001u);
    EXPECT_EQ(parseWindowId("4194305"), 4194305u);
    EXPECT_EQ(parseWindowId("12abc"), 0u);
    EXPECT_EQ(parseWindowId(""), 0u);
    EXPECT_EQ(parseWindowId(nullptr), 0u);
    EXPECT_EQ(parseWindowId("-1"), 0u);
    EXPECT_EQ(parseWindowId("99999999999999999999999"), 0u);
    // Blanks or a sign in front are not part of an id; a negative number must
    // not wrap around into a huge window id.
    EXPECT_EQ(parseWindowId(" -5"), 0u);
    EXPECT_EQ(parseWindowId(" 12"), 0u);
    EXPECT_EQ(parseWindowId("\t0x10"), 0u);
    EXPECT_EQ(parseWindowId("+7"), 0u);
}

// The XScreenSaver option file offers exactly one option per setting and the
// frame counter, each in a form the program takes, with the settings' own
// defaults.
TEST(OptionFile, listsExactlyTheSettingOptionsTheProgramAccepts) {
    std::ifstream file(std::string(KELVARA_SOURCE_DIR) + "/resources/kelvara.xml");
    ASSERT_TRUE(file) << "resources/kelvara.xml";
    std::stringstream text;
    text << file.rdbuf();
    const std::string xml = text.str();

    std::set<std::string> offered;
    const std::regex argument(R"re((arg|arg-set|arg-unset)="([^"]*)")re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), argument); it != std::sregex_iterator();
         ++it) {
        std::string value = (*it)[2];
        if (value == "-root")
            continue;
        std::istringstream words(value);
        std::vector<std::string> parts;
        for (std::string w; words >> w;)
            parts.push_back(w == "%" ? "1" : w);
        const ParsedOptions p = parse(parts);
        EXPECT_TRUE(p.ok) << value << ": " << p.error;
        offered.insert(parts.at(0));
    }
    std::vector<std::string> expected = settingOptionNames();
    expected.push_back("--fps");
    EXPECT_EQ(offered, std::set<std::string>(expected.begin(), expected.end()));

    for (const SettingField& f : kSettingFields) {
        const std::string name = f.name;
        // Numbers carry the default; a flag offers the switch away from it.
        const std::regex number("id=\"" + name + "\"[^>]*default=\"(-?[0-9]+)\"");
        std::smatch m;
        if (std::regex_search(xml, m, number)) {
            EXPECT_EQ(std::stoi(m[1]), f.defaultValue) << name;
        } else if (xml.find("<boolean id=\"" + name + "\"") != std::string::npos) {
            const std::string flip =
                f.defaultValue != 0 ? "arg-unset=\"--" + name + " 0\"" : "arg-set=\"--" + name + " 1\"";
            EXPECT_NE(xml.find(flip), std::string::npos) << name;
        } else {
            // A choice: the default is the entry that passes nothing.
            EXPECT_NE(xml.find("<select id=\"" + name + "\">"), std::string::npos) << name;
            EXPECT_EQ(xml.find("arg-set=\"--" + name + " " + std::to_string(f.defaultValue) + "\""),
                      std::string::npos)
                << name;
        }
    }
}

} // namespace
} // namespace kelvara
