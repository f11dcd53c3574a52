#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/manual_page.h"
#include "cli/option_file.h"
#include "cli/saver_options.h"
#include "settings/setting_text.h"

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

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// How a command line (and XScreenSaver's window in the environment) picks the
// run: the daemon's conventions, Windows' switches and our own long options
// must all land on the same kinds.
struct RunCase {
    std::vector<std::string> words;
    const char* env;
    RunKind kind;
    unsigned long window;
    bool intoRoot;
    bool screensaverWindow;
    bool preview;
};

const RunCase kRunCases[] = {
    {{}, nullptr, RunKind::FullScreen, 0, false, false, false},
    {{"-root"}, nullptr, RunKind::IntoWindow, 0, true, false, false},
    {{"-window-id", "0x1a00007"}, nullptr, RunKind::IntoWindow, 0x1a00007, false, false, false},
    {{"--window-id=4242"}, nullptr, RunKind::IntoWindow, 4242, false, false, false},
    // The environment's window replaces the root, and is used with no run
    // option at all, but not when the user asked for another run.
    {{"-root"}, "0x200003", RunKind::IntoWindow, 0x200003, false, true, false},
    // The daemon of Debian's XScreenSaver 6 passes two dashes.
    {{"--root"}, "0x200003", RunKind::IntoWindow, 0x200003, false, true, false},
    {{"--root"}, nullptr, RunKind::IntoWindow, 0, true, false, false},
    {{}, "77", RunKind::IntoWindow, 77, false, true, false},
    {{"--window"}, "77", RunKind::Windowed, 0, false, false, false},
    {{"-window-id", "0x1a00007"}, "77", RunKind::IntoWindow, 0x1a00007, false, false, false},
    {{"-root"}, "not a window", RunKind::IntoWindow, 0, true, false, false},
    // Windows' switches keep their meaning; settings options may come before
    // or after the switch.
    {{"/s"}, nullptr, RunKind::FullScreen, 0, false, false, false},
    {{"/p", "1234"}, nullptr, RunKind::IntoWindow, 1234, false, false, true},
    {{"/c"}, nullptr, RunKind::Configure, 0, false, false, false},
    {{"--list-modes"}, nullptr, RunKind::ListModes, 0, false, false, false},
    {{"/s", "--Mode", "2"}, nullptr, RunKind::FullScreen, 0, false, false, false},
};

TEST(SaverOptions, commandLinesPickTheirRun) {
    for (const RunCase& c : kRunCases) {
        std::string line;
        for (const std::string& w : c.words)
            line += w + " ";
        line += c.env ? std::string("[XSCREENSAVER_WINDOW=") + c.env + "]" : "";
        const ParsedOptions p = parse(c.words, c.env);
        ASSERT_TRUE(p.ok) << line << p.error;
        EXPECT_EQ(p.options.kind, c.kind) << line;
        if (c.kind == RunKind::IntoWindow) {
            EXPECT_EQ(p.options.window, c.window) << line;
            EXPECT_EQ(p.options.intoRoot, c.intoRoot) << line;
        }
        EXPECT_EQ(p.options.screensaverWindow, c.screensaverWindow) << line;
        EXPECT_EQ(p.options.preview, c.preview) << line;
    }
    EXPECT_EQ(parse({"/s", "--Mode", "2"}).options.run.overrides.size(), 1u);

    for (const auto& bad :
         std::vector<std::vector<std::string>>{{"/p"}, {"/p", "abc"}, {"/a", "12"}, {"/q"}, {"word"}}) {
        const ParsedOptions p = parse(bad);
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
        {{"--idle", "0"}, "--idle needs a whole number of seconds from 1 to 86400"},
        {{"--idle", "86401"}, "--idle needs"},
        {{"--idle", "2.5"}, "--idle needs"},
        {{"--idle", "-3"}, "--idle needs"},
        {{"--idle", "3", "--wayland"}, "give only one"},
        {{"--autostart", "on"}, "--autostart needs seconds from 1 to 86400 or off"},
        {{"--autostart", "300", "--idle", "300"}, "give only one"},
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
    EXPECT_FALSE(p.options.run.control.waitForRetrace);
    EXPECT_EQ(p.options.run.control.maxFps, kMaxFpsDisplayRate) << "--no-vsync alone keeps the cap";
    EXPECT_TRUE(p.options.run.showFrameRate);
    EXPECT_EQ(p.options.settingsFile, "/tmp/k");
    Settings stored;
    stored.x_div = 12;
    stored.Mode = 1;
    Settings run = stored;
    applyOverrides(run, p.options.run.overrides);
    EXPECT_EQ(run.x_div, 30.0f);
    EXPECT_EQ(run.Mode, -3);
    run.y_div = 7; // changed during the run (a random preset): kept
    revertOverrides(run, stored, p.options.run.overrides);
    EXPECT_EQ(run.x_div, 12.0f);
    EXPECT_EQ(run.Mode, 1);
    EXPECT_EQ(run.y_div, 7.0f);
}

// What the idle watch hands each saver (and the autostart entry the watch)
// must read back as the very options the user gave it.
TEST(SaverOptions, idleWatchPassesTheRunsOptionsOnUnchanged) {
    const std::vector<std::string> given = {"--idle", "300", "--settings", "-odd name", "--seconds", "0.1",
                                            "--frames", "99", "--stats", "s.txt", "--no-vsync", "--max-fps",
                                            "0", "--fps", "--x_div", "0.1", "--Mode", "-3", "--x_div", "1e-7"};
    const ParsedOptions p = parse(given);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.kind, RunKind::IdleWatch);
    EXPECT_EQ(p.options.idleSeconds, 300u);
    std::vector<std::string> again = runArguments(p.options);
    again.insert(again.begin(), "--wayland");
    const ParsedOptions q = parse(again);
    ASSERT_TRUE(q.ok) << q.error;
    EXPECT_EQ(q.options.kind, RunKind::Wayland);
    EXPECT_EQ(q.options.settingsFile, p.options.settingsFile);
    EXPECT_EQ(q.options.run.control.limits.seconds, p.options.run.control.limits.seconds);
    EXPECT_EQ(q.options.run.control.limits.frames, p.options.run.control.limits.frames);
    EXPECT_EQ(q.options.run.control.statsFile, p.options.run.control.statsFile);
    EXPECT_EQ(q.options.run.control.waitForRetrace, p.options.run.control.waitForRetrace);
    EXPECT_EQ(q.options.run.control.maxFps, p.options.run.control.maxFps);
    EXPECT_EQ(q.options.run.showFrameRate, p.options.run.showFrameRate);
    ASSERT_EQ(q.options.run.overrides.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(q.options.run.overrides[i].field, p.options.run.overrides[i].field);
        EXPECT_EQ(q.options.run.overrides[i].intValue, p.options.run.overrides[i].intValue);
        EXPECT_EQ(q.options.run.overrides[i].floatValue, p.options.run.overrides[i].floatValue);
    }
    // Nothing asked for, nothing passed: the saver's own defaults apply.
    EXPECT_TRUE(runArguments(parse({"--idle", "5"}).options).empty());
    const ParsedOptions off = parse({"--autostart", "off"});
    ASSERT_TRUE(off.ok);
    EXPECT_EQ(off.options.kind, RunKind::Autostart);
    EXPECT_EQ(off.options.idleSeconds, 0u);
}

TEST(SaverOptions, everySettingHasAnOptionThatTakesItsDefault) {
    const std::vector<std::string> accepted = acceptedOptionNames();
    for (const SettingField& f : kSettingFields) {
        const std::string name = std::string("--") + f.name;
        EXPECT_NE(std::find(accepted.begin(), accepted.end(), name), accepted.end()) << name;
        const ParsedOptions p = parse({name, std::to_string(f.defaultValue)});
        ASSERT_TRUE(p.ok) << name;
        ASSERT_EQ(p.options.run.overrides.size(), 1u);
        EXPECT_EQ(p.options.run.overrides[0].field, settingIndex(f.name));
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

// --help fits a terminal of 80 columns and gives every setting with its
// meaning, range and default.
TEST(SaverOptions, helpFitsEightyColumnsAndDescribesEverySetting) {
    const std::string help = helpText();
    std::istringstream lines(help);
    std::string flat; // the text with its line breaks and indents undone
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        for (char c : line)
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << line;
        for (std::string word : words(line))
            flat += " " + word;
    }
    for (const SettingField& f : kSettingFields) {
        const std::string entry = std::string("--") + f.name + " N " + f.meaning + " Values " + settingRangeText(f) +
                                  "; default " + settingDefaultText(f) + ".";
        EXPECT_NE(flat.find(entry), std::string::npos) << entry;
    }
    for (const OptionHelp& o : runOptionHelp())
        EXPECT_NE(flat.find(" " + o.option + (o.argument.empty() ? "" : " " + o.argument) + " " + o.help),
                  std::string::npos)
            << o.option;
}

TEST(SettingText, rangesDefaultsAndWrapping) {
    const SettingField& mode = kSettingFields[settingIndex("Mode")];
    EXPECT_EQ(settingRangeText(mode), "0 Explode, 1 Wave1, 2 Wave2, 3 Wave3, 4 Oval rings");
    EXPECT_EQ(settingDefaultText(mode), "0 (Explode)");
    const SettingField& width = kSettingFields[settingIndex("screenTextureWidth")];
    EXPECT_EQ(settingRangeText(width), "128, 256, 512, 1024, 2048 texels");
    EXPECT_EQ(settingDefaultText(width), "512");
    const SettingField& tilt = kSettingFields[settingIndex("rotX0")];
    EXPECT_EQ(settingRangeText(tilt), "0..360 degrees");
    EXPECT_EQ(settingRangeText(kSettingFields[settingIndex("xyGoraud")]), "0 off, 1 on");
    EXPECT_EQ(settingDefaultText(kSettingFields[settingIndex("xyGoraud")]), "1 (on)");
    EXPECT_EQ(settingIndex("noSuchSetting"), kSettingCount);

    EXPECT_EQ(wrapText("aa bb cc", 5, 1, 0), "aa bb\n cc\n");
    EXPECT_EQ(wrapText("aa  bb", 80, 0, 76), "aa\nbb\n");
    // A word longer than the line stands alone rather than being cut.
    EXPECT_EQ(wrapText("x abcdefgh y", 6, 2, 0), "x\n  abcdefgh\n  y\n");
}

namespace {

struct XmlControl {
    std::string element;
    std::map<std::string, std::string> attributes;
};

// The start tags of the option file, with their attributes.
std::vector<XmlControl> startTags(const std::string& xml) {
    std::vector<XmlControl> tags;
    const std::regex tag(R"re(<([a-z_-]+)((?:\s+[a-z_-]+="[^"]*")*)\s*/?>)re");
    const std::regex attribute(R"re(([a-z_-]+)="([^"]*)")re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator(); ++it) {
        XmlControl c{(*it)[1], {}};
        const std::string attrs = (*it)[2];
        for (auto a = std::sregex_iterator(attrs.begin(), attrs.end(), attribute); a != std::sregex_iterator(); ++a)
            c.attributes[(*a)[1]] = (*a)[2];
        tags.push_back(std::move(c));
    }
    return tags;
}

// The setting an option sets, and the value, after the parser took it.
double overriddenValue(const ParsedOptions& p) {
    const SettingOverride& o = p.options.run.overrides.at(0);
    return kSettingFields[o.field].type == FieldType::Int ? o.intValue : o.floatValue;
}

} // namespace

// Every control of XScreenSaver's option file passes options the program
// takes, with values within the setting's range, and the controls are those
// of the settings that act under XScreenSaver.
TEST(OptionFile, offersOnlyOptionsTheProgramTakesWithinRange) {
    const OptionFile file = xscreensaverOptionFile();
    ASSERT_TRUE(file.ok) << file.error;
    const std::vector<XmlControl> tags = startTags(file.text);

    std::set<std::string> settingsOffered;
    bool image = false, columns = false;
    for (const XmlControl& c : tags) {
        image |= c.element == "xscreensaver-image";
        columns |= c.element == "vgroup";
        for (const char* key : {"arg", "arg-set", "arg-unset"}) {
            const auto found = c.attributes.find(key);
            if (found == c.attributes.end())
                continue;
            std::vector<std::string> argv = words(found->second);
            ASSERT_FALSE(argv.empty());
            if (argv == std::vector<std::string>{"--root"}) {
                EXPECT_EQ(c.element, "command");
                continue;
            }
            const std::size_t setting = settingIndex(argv[0].substr(2));
            if (setting == kSettingCount) {
                // Not a setting: a run option the program takes as it is.
                const ParsedOptions p = parse(argv);
                EXPECT_TRUE(p.ok) << found->second << ": " << p.error;
                continue;
            }
            const SettingField& f = kSettingFields[setting];
            settingsOffered.insert(f.name);
            ASSERT_EQ(argv.size(), 2u) << found->second;
            std::vector<std::string> values = {argv[1]};
            if (argv[1] == "%") {
                // A slider: both ends and the default must be taken and lie
                // within the setting's range, the default being the table's.
                EXPECT_EQ(c.attributes.at("default"), std::to_string(f.defaultValue)) << f.name;
                values = {c.attributes.at("low"), c.attributes.at("high"), c.attributes.at("default")};
            }
            for (const std::string& v : values) {
                const ParsedOptions p = parse({argv[0], v});
                ASSERT_TRUE(p.ok) << found->second << " " << v << ": " << p.error;
                ASSERT_EQ(p.options.run.overrides.size(), 1u);
                EXPECT_EQ(p.options.run.overrides[0].field, setting);
                EXPECT_GE(overriddenValue(p), f.low) << f.name << " " << v;
                EXPECT_LE(overriddenValue(p), f.high) << f.name << " " << v;
            }
            // A box or menu entry passes a value away from the default; the
            // default is what passing nothing gives.
            if (argv[1] != "%") {
                EXPECT_NE(std::stoi(argv[1]), f.defaultValue) << found->second;
            }
        }
    }
    EXPECT_TRUE(image) << "no <xscreensaver-image/>";
    EXPECT_TRUE(columns) << "controls not grouped in columns";

    // No display mode switch in a window XScreenSaver hands over, and
    // useTrails changes nothing: every other setting has its control.
    std::set<std::string> expected;
    for (const SettingField& f : kSettingFields)
        expected.insert(f.name);
    for (const char* idle : {"resW", "resH", "resC", "useTrails"})
        expected.erase(idle);
    EXPECT_EQ(settingsOffered, expected);

    // Only priority steps that change something natively: the ones below the
    // default (raising a thread's priority needs privileges a saver has not).
    const std::string priority = file.text.substr(file.text.find("<select id=\"Priority\">"));
    EXPECT_NE(priority.find("--Priority 0"), std::string::npos);
    for (int step = kSettingFields[settingIndex("Priority")].defaultValue + 1; step < kPrioritySteps; ++step)
        EXPECT_EQ(file.text.find("--Priority " + std::to_string(step)), std::string::npos) << step;
}

// The manual page describes every option and every setting, in words a
// roff reader takes literally.
TEST(ManualPage, listsEveryOptionAndSettingWithItsRange) {
    const std::string page = manualPage({"/usr/bin/kelvara", "/usr/libexec/xscreensaver/kelvara",
                                         "/usr/share/xscreensaver/config/kelvara.xml",
                                         "/usr/share/applications/kelvara.desktop"},
                                        "9.9");
    EXPECT_EQ(page.rfind(".\\\"", 0), 0u);
    EXPECT_NE(page.find(".TH KELVARA 6 \"\" \"Kelvara 9.9\""), std::string::npos);
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "SETTINGS", "FILES", "EXIT STATUS",
                                "XSCREENSAVER"})
        EXPECT_NE(page.find(std::string(".SH ") + section + "\n"), std::string::npos) << section;
    auto dashed = [](const std::string& option) {
        std::string out;
        for (char c : option)
            out += c == '-' ? std::string("\\-") : std::string(1, c);
        return out;
    };
    for (const OptionHelp& o : runOptionHelp())
        EXPECT_NE(page.find("\\fB" + dashed(o.option) + "\\fR"), std::string::npos) << o.option;
    for (const SettingField& f : kSettingFields) {
        const std::size_t at = page.find("\\fB" + dashed(std::string("--") + f.name) + "\\fR \\fIN\\fR");
        ASSERT_NE(at, std::string::npos) << f.name;
        const std::string entry = page.substr(at, page.find(".TP", at) - at);
        EXPECT_NE(entry.find("Values " + settingRangeText(f) + "; default " + settingDefaultText(f)),
                  std::string::npos)
            << entry;
    }
    for (const char* path : {"/usr/libexec/xscreensaver/kelvara", "/usr/share/xscreensaver/config/kelvara.xml"})
        EXPECT_NE(page.find(path), std::string::npos) << path;
    EXPECT_NE(page.find("programs: GL: kelvara \\-\\-root"), std::string::npos);
    // No line a roff reader would take as a request by accident.
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] == '\'')
            ADD_FAILURE() << line;
}

} // namespace
} // namespace kelvara
