#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <vector>

#include "cli/command_line.h"

using namespace kelvara;

namespace {

constexpr WindowNumber kForeground = 777;

// A window system with the given windows and window 777 in the foreground; it
// counts how often it is asked.
struct FakeWindows {
    std::set<WindowNumber> existing;
    int isWindowCalls = 0;
    int foregroundCalls = 0;

    WindowQueries queries() {
        return {[this](WindowNumber w) {
                    ++isWindowCalls;
                    return existing.count(w) != 0;
                },
                [this] {
                    ++foregroundCalls;
                    return kForeground;
                }};
    }
};

HostPlan plan(std::string_view arguments, std::set<WindowNumber> windows = {1234}, bool win9x = false) {
    FakeWindows fake{std::move(windows)};
    return planHostRun(parseSaverCommand(arguments), win9x, fake.queries());
}

// The decimal text of n + add, for n given as decimal text.
std::string plus(std::string digits, unsigned add) {
    for (auto i = digits.size(); i-- > 0 && add != 0;) {
        const unsigned sum = static_cast<unsigned>(digits[i] - '0') + add;
        digits[i] = static_cast<char>('0' + sum % 10);
        add = sum / 10;
    }
    return add != 0 ? std::to_string(add) + digits : digits;
}

const std::string kLargest = std::to_string(std::numeric_limits<WindowNumber>::max());

} // namespace

TEST(CommandLine, fullScreenInEverySpelling) {
    for (const char* text :
         {"/s", "-S", "s", "S", " /S", "/s123", "--s", "/ -/ s", "/scr", "/s /p 1234", "/Sx"}) {
        const SaverCommand c = parseSaverCommand(text);
        EXPECT_TRUE(c.recognised) << text;
        EXPECT_EQ(c.mode, SaverMode::Saver) << text;
        const HostPlan p = plan(text);
        EXPECT_EQ(p.action, HostAction::RunSaver) << text;
        EXPECT_EQ(p.window, 0u) << text;
    }
}

TEST(CommandLine, previewInTheNamedWindow) {
    for (const char* text : {"/p 1234", "/P1234", "/l 1234", "/L   1234", "-p 1234", "p1234", "/p 1234 /s",
                             "/p 0001234", "/p 1234x"}) {
        const SaverCommand c = parseSaverCommand(text);
        EXPECT_EQ(c.mode, SaverMode::Preview) << text;
        EXPECT_EQ(c.window, 1234u) << text;
        const HostPlan p = plan(text);
        EXPECT_EQ(p.action, HostAction::RunPreview) << text;
        EXPECT_EQ(p.window, 1234u) << text;
    }
}

TEST(CommandLine, previewWithoutUsableWindowExitsWithMinusOne) {
    // Missing, zero, not a number, signed, hexadecimal, after a tab (only
    // spaces are skipped), and a number that names no window.
    for (const char* text :
         {"/p", "/p 0", "/p abc", "/p -5", "/p +5", "/p 0x10", "/p\t1234", "/l", "/p 4321"}) {
        const HostPlan p = plan(text, {0, 1234, 4321 + 1});
        EXPECT_EQ(p.action, HostAction::Exit) << text;
        EXPECT_EQ(p.exitCode, -1) << text;
    }
    // Window 0 is never offered to the window system.
    FakeWindows fake{{0}};
    const HostPlan p = planHostRun(parseSaverCommand("/p 0"), false, fake.queries());
    EXPECT_EQ(p.exitCode, -1);
    EXPECT_EQ(fake.isWindowCalls, 0);
}

TEST(CommandLine, configurationOwnerFollowsTheSwitch) {
    struct Case {
        const char* text;
        WindowNumber owner;
    };
    const Case cases[] = {
        {"/c:1234", 1234},         {"/C:1234", 1234},        {"-c:1234 more", 1234},
        {"/c 1234", kForeground}, // a space instead of the colon names no window
        {"/c", kForeground},       {"/c:", kForeground},     {"/c:abc", kForeground},
        {"/c:0", kForeground},     {"/c:4321", kForeground}, // no such window
        {"/c: 1234", kForeground},
    };
    for (const Case& c : cases) {
        const SaverCommand command = parseSaverCommand(c.text);
        EXPECT_EQ(command.mode, SaverMode::Configure) << c.text;
        const HostPlan p = plan(c.text);
        EXPECT_EQ(p.action, HostAction::ShowConfigDialog) << c.text;
        EXPECT_EQ(p.window, c.owner) << c.text;
    }
}

TEST(CommandLine, noSwitchConfiguresWithoutOwner) {
    // Separators alone leave nothing to decide, as an empty text does.
    for (const char* text : {"", "   ", "/", "- /"}) {
        FakeWindows fake{{1234}};
        const HostPlan p = planHostRun(parseSaverCommand(text), false, fake.queries());
        EXPECT_EQ(p.action, HostAction::ShowConfigDialog) << '"' << text << '"';
        EXPECT_EQ(p.window, 0u) << '"' << text << '"';
        EXPECT_EQ(fake.foregroundCalls, 0) << '"' << text << '"';
    }
}

TEST(CommandLine, passwordChangeOnlyWhereTheSaverKeepsThePassword) {
    HostPlan p = plan("/a 1234", {1234}, true);
    EXPECT_EQ(p.action, HostAction::ChangePassword);
    EXPECT_EQ(p.window, 1234u);
    EXPECT_EQ(p.exitCode, 0);

    p = plan("/A1234", {1234}, true);
    EXPECT_EQ(p.window, 1234u);
    for (const char* text : {"/a", "/a 4321", "/a:1234", "/a abc"}) {
        p = plan(text, {1234}, true);
        EXPECT_EQ(p.action, HostAction::ChangePassword) << text;
        EXPECT_EQ(p.window, kForeground) << text;
        EXPECT_EQ(p.exitCode, 0) << text;
    }

    FakeWindows fake{{1234}};
    p = planHostRun(parseSaverCommand("/a 1234"), false, fake.queries());
    EXPECT_EQ(p.action, HostAction::Exit);
    EXPECT_EQ(p.exitCode, -1);
    EXPECT_EQ(fake.isWindowCalls + fake.foregroundCalls, 0) << "refused before any window is looked at";
}

TEST(CommandLine, unknownSwitchExitsWithMinusOne) {
    // A tab is not a separator here (the entry skips it only before the
    // first switch character), nor are digits, other letters or a colon.
    for (const char* text : {"/x", "x", "\t/s", "/\ts", "1234", "/1", "/?", ":s", "/ä", "\x01s", "/\xc3s"}) {
        FakeWindows fake{{1234}};
        const SaverCommand c = parseSaverCommand(text);
        EXPECT_FALSE(c.recognised) << text;
        const HostPlan p = planHostRun(c, true, fake.queries());
        EXPECT_EQ(p.action, HostAction::Exit) << text;
        EXPECT_EQ(p.exitCode, -1) << text;
        EXPECT_EQ(fake.isWindowCalls + fake.foregroundCalls, 0) << text;
    }
}

TEST(CommandLine, windowNumberReadsDigitsUpToTheFirstOther) {
    struct Case {
        std::string text;
        std::size_t start;
        WindowNumber value;
        std::size_t end;
    };
    const Case cases[] = {
        {"1234", 0, 1234, 4}, {"1234 5", 0, 1234, 4}, {"x987y", 1, 987, 4}, {"", 0, 0, 0},
        {"abc", 0, 0, 0},     {"-12", 0, 0, 0},       {"007", 0, 7, 3},     {"12", 5, 0, 5},
        {"0x1F", 0, 0, 1},    {"٣", 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::size_t pos = c.start;
        EXPECT_EQ(parseWindowHandle(c.text, pos), c.value) << c.text;
        EXPECT_EQ(pos, c.end) << c.text;
    }
}

TEST(CommandLine, windowNumberTooLongForAHandleIsNoWindow) {
    // The largest handle still reads; one more, or a digit more, is no window.
    std::size_t pos = 0;
    EXPECT_EQ(parseWindowHandle(kLargest, pos), std::numeric_limits<WindowNumber>::max());
    pos = 0;
    EXPECT_EQ(parseWindowHandle("000" + kLargest, pos), std::numeric_limits<WindowNumber>::max());

    const std::string tooLong[] = {plus(kLargest, 1), kLargest + "0", std::string(60, '9'),
                                   plus(kLargest, 1) + "1234"};
    for (const std::string& digits : tooLong) {
        pos = 0;
        EXPECT_EQ(parseWindowHandle(digits + " rest", pos), 0u) << digits;
        EXPECT_EQ(pos, digits.size()) << "the whole number is read: " << digits;
    }

    // A window that wrapping around would name is never asked for.
    const WindowNumber wrapped = 1234;
    for (const std::string& digits : {plus(kLargest, 1), plus(kLargest, 1 + wrapped)}) {
        FakeWindows fake{{0, 1, wrapped}};
        HostPlan p = planHostRun(parseSaverCommand("/p " + digits), false, fake.queries());
        EXPECT_EQ(p.action, HostAction::Exit) << digits;
        EXPECT_EQ(p.exitCode, -1) << digits;
        EXPECT_EQ(fake.isWindowCalls, 0) << digits;

        p = planHostRun(parseSaverCommand("/c:" + digits), false, fake.queries());
        EXPECT_EQ(p.window, kForeground) << digits;
    }
}

TEST(CommandLine, entrySkipsTheProgramNameAndItsSeparators) {
    struct Case {
        const char* line;
        const char* arguments;
    };
    const Case cases[] = {
        {"kelvara.scr /s", "/s"},
        {"\"C:\\Program Files\\Kelvara\\kelvara.scr\" /p 1234", "/p 1234"},
        {"\"C:\\Saver s\\k.scr\"/c:55", "/c:55"},
        {"kelvara.scr\t \t/s", "/s"},     // tabs and spaces both separate
        {"kelvara.scr \x01\x1f/s", "/s"}, // so does every control character
        {"kelvara.scr", ""},
        {"\"C:\\unterminated /s", ""},       // an unclosed quote takes the whole line
        {"C:\\Bilder\xe4r\\k.scr /s", "/s"}, // bytes above 127 belong to the name
        {"k.scr \xe4/s", "\xe4/s"},          // ... and end the separators
        {"\"\" /s", "/s"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(argumentsOf(c.line), c.arguments) << c.line;

    // Whole lines as the system gives them, through to the plan.
    EXPECT_EQ(plan(argumentsOf("\"C:\\Windows\\kelvara.scr\" /p 1234")).action, HostAction::RunPreview);
    EXPECT_EQ(plan(argumentsOf("kelvara.scr\t/s")).action, HostAction::RunSaver);
}

TEST(CommandLine, separateArgumentsReadAsOneText) {
    const char* argv[] = {"/p", "1234"};
    EXPECT_EQ(joinArguments(argv), "/p 1234");
    EXPECT_EQ(plan(joinArguments(argv)).window, 1234u);

    const char* none[] = {nullptr};
    EXPECT_EQ(joinArguments(std::span<const char* const>(none, 0)), "");
    EXPECT_EQ(plan(joinArguments(std::span<const char* const>(none, 0))).action,
              HostAction::ShowConfigDialog);

    const char* config[] = {"-c"};
    EXPECT_EQ(plan(joinArguments(config)).window, kForeground);
}
