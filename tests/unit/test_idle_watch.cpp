#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/idle_watch.h"

namespace kelvara {
namespace {

// What happens at a step of a story the watch is told: the seat's events;
// an expected start (made), no start, or a start refused (locked, inhibited);
// the saver's ends (a failure with or without the one report); the signals
// expected due (and sent).
// clang-format off
enum class Op { Idle, Active, Start, NoStart, Refuse, Finished, Failed, FailedReported, ByWatch, Term, Kill,
                NoSignal };
// clang-format on

struct Story {
    const char* name;
    std::vector<std::pair<int64_t, Op>> steps; // at a time in ms
};

void tell(const Story& story) {
    IdleWatchRules rules;
    for (std::size_t i = 0; i < story.steps.size(); ++i) {
        const auto [t, op] = story.steps[i];
        SCOPED_TRACE(std::string(story.name) + ", step " + std::to_string(i) + " at " + std::to_string(t));
        std::string line;
        const SaverSignal due = op == Op::Term ? SaverSignal::Terminate : SaverSignal::Kill;
        // clang-format off
        switch (op) {
        case Op::Idle: rules.seatIdle(t); break;
        case Op::Active: rules.seatActive(t); break;
        case Op::Start: ASSERT_TRUE(rules.wantsStart(t)); rules.saverStarted(t); break;
        case Op::Refuse: ASSERT_TRUE(rules.wantsStart(t)); rules.startRefused(); break;
        case Op::NoStart: EXPECT_FALSE(rules.wantsStart(t)); break;
        case Op::Finished: line = rules.saverEnded(t, SaverEnd::Finished); break;
        case Op::Failed: case Op::FailedReported: line = rules.saverEnded(t, SaverEnd::Failed); break;
        case Op::ByWatch: line = rules.saverEnded(t, SaverEnd::EndedByWatch); break;
        case Op::Term: case Op::Kill: ASSERT_EQ(rules.signalDue(t), due); rules.signalSent(t, due); break;
        case Op::NoSignal: EXPECT_EQ(rules.signalDue(t), SaverSignal::None); break;
        }
        // clang-format on
        if (op == Op::FailedReported)
            EXPECT_NE(line.find("failed 3 times in a row"), std::string::npos) << line;
        else
            EXPECT_EQ(line, "");
    }
}

// Default times: outlive 5 s, kill grace 3 s, "at once" 5 s, retry 2 s, back
// off after 3 failures at once for 60 s, doubling.
TEST(IdleWatchRules, startEndAndBackOffAsTheUserAndTheSaverBehave) {
    using enum Op;
    // clang-format off
    const std::vector<Story> stories = {
        {"one saver an idle period, none while the user is there",
         {{0, NoStart}, {0, Idle}, {0, Start}, {100, NoStart}, {9000, Finished}, {60000, NoStart},
          {61000, Active}, {61000, NoStart}, {64000, Idle}, {64000, Start}}},
        {"locked or inhibited: nothing until the next idle period",
         {{0, Idle}, {0, Refuse}, {5000, NoStart}, {6000, Active}, {9000, Idle}, {9000, Start}}},
        {"a saver outliving its user's return: SIGTERM, then SIGKILL; no failure",
         {{0, Idle}, {0, Start}, {1000, Active}, {5999, NoSignal}, {6000, Term}, {8999, NoSignal},
          {9000, Kill}, {9500, NoSignal}, {9600, ByWatch}, {20000, Idle}, {20000, Start}}},
        {"idle again soon after: a saver that did not end on the input is still ended, then replaced",
         {{0, Idle}, {0, Start}, {1000, Active}, {3000, Idle}, {3000, NoStart}, {5999, NoSignal},
          {6000, Term}, {6200, ByWatch}, {6200, Start}}},
        {"failing at once: retried, then reported once and backed off, across idle periods",
         {{0, Idle}, {0, Start}, {100, Failed}, {2099, NoStart}, {2100, Start}, {2200, Failed}, {4200, Start},
          {4300, FailedReported}, {6300, NoStart}, {10000, Active}, {13000, Idle}, {64299, NoStart},
          {64300, Start}, {64400, Failed}, {184399, NoStart}, {184400, Start}}},
        {"a failure after a long run starts a new count",
         {{0, Idle}, {0, Start}, {100, Failed}, {2100, Start}, {2200, Failed}, {4200, Start},
          {60000, Failed}, {62000, Start}, {62100, Failed}, {64100, Start}, {64200, FailedReported},
          {66200, NoStart}}},
        {"a run that ends well clears the failures",
         {{0, Idle}, {0, Start}, {100, Failed}, {2100, Start}, {2200, Failed}, {4200, Start},
          {9000, Finished}, {10000, Active}, {13000, Idle}, {13000, Start}, {13100, Failed}, {15100, Start}}},
    };
    // clang-format on
    for (const Story& story : stories)
        tell(story);
}

TEST(IdleWatchRules, wakesForTheNextDeadlineOnly) {
    IdleWatchRules rules;
    EXPECT_EQ(rules.msUntilNextDeadline(0), -1);
    rules.seatIdle(0);
    rules.saverStarted(0);
    EXPECT_EQ(rules.msUntilNextDeadline(100), -1) << "a saver the user has not come back to owes nothing";
    rules.seatActive(1000);
    EXPECT_EQ(rules.msUntilNextDeadline(2000), 4000);
    rules.signalSent(6000, SaverSignal::Terminate);
    EXPECT_EQ(rules.msUntilNextDeadline(6000), 3000);
    rules.saverEnded(6500, SaverEnd::EndedByWatch);
    rules.seatIdle(7000);
    rules.saverStarted(7000);
    rules.saverEnded(7100, SaverEnd::Failed);
    EXPECT_EQ(rules.msUntilNextDeadline(7100), 2000) << "the retry";
}

TEST(IdleWatchDesktop, blankDelaysAndTheAutostartEntry) {
    EXPECT_EQ(blankDelayNote("GNOME", 0, 300), "") << "never blanks";
    EXPECT_EQ(blankDelayNote("GNOME", 300, 300), "");
    EXPECT_NE(blankDelayNote("GNOME", 120, 300).find("GNOME blanks the screen after 120 s"),
              std::string::npos);

    const std::vector<std::pair<const char*, unsigned>> kde = {
        {"[AC][DPMSControl]\nidleTime=600\n[Battery][DPMSControl]\nidleTime=60\n", 600},
        {"[Battery][DPMSControl]\nidleTime=60\n", 0},
        {"[AC][DimDisplay]\nidleTime=120000\n[AC][DPMSControl]\r\nidleTime=240\r\n", 240},
        {"[AC][Display]\nTurnOffDisplayIdleTimeoutSec=420\n", 420},
        {"[AC][DPMSControl]\nidleTime=ten\n", 0},
        {"[AC][DPMSControl]\nidleTime=-5\n", 0},
    };
    for (const auto& [text, seconds] : kde)
        EXPECT_EQ(kdeScreenOffSeconds(text), seconds) << text;

    // The quoting rule inside double quotes, then the string escapes: a
    // backslash ends up as four, a percent sign doubled.
    const std::vector<std::pair<std::vector<std::string>, const char*>> exec = {
        {{"--idle", "300"}, "--idle 300"},
        {{"--settings", "/home/a b/k"}, "--settings \"/home/a b/k\""},
        {{"--stats", "/t/100%"}, "--stats /t/100%%"},
        {{"--settings", "$HOME\\x\"`"}, "--settings \"\\\\$HOME\\\\\\\\x\\\\\"\\\\`\""},
        {{"--settings", "a\nb"}, "--settings \"a\\nb\""},
    };
    for (const auto& [arguments, line] : exec) {
        const std::string entry = autostartEntry("/usr/bin/kelvara", arguments);
        EXPECT_NE(entry.find(std::string("\nExec=/usr/bin/kelvara ") + line + "\n"), std::string::npos)
            << entry;
        EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
    }
}

} // namespace
} // namespace kelvara
