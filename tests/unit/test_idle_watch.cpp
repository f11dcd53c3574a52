#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/idle_watch.h"

namespace kelvara {
namespace {

// One step of a story the watch is told, at time `t` (ms).
enum class Op {
    Idle,       // the seat became idle
    Active,     // the user came back
    Start,      // expect wantsStart, and start a saver
    NoStart,    // expect !wantsStart
    Refuse,     // expect wantsStart, and refuse it (locked, inhibited)
    Finished,   // the saver ended with 0
    Failed,     // the saver failed
    ByWatch,    // the saver ended by the watch's signal
    Term,       // expect SIGTERM due, and send it
    Kill,       // expect SIGKILL due, and send it
    NoSignal,   // expect nothing due
    Reported,   // the last end gave a line to report
    Quiet,      // the last end gave none
};

struct Step {
    int64_t t;
    Op op;
};

struct Story {
    const char* name;
    std::vector<Step> steps;
};

void tell(const Story& story) {
    IdleWatchRules rules;
    std::string line;
    for (std::size_t i = 0; i < story.steps.size(); ++i) {
        const auto [t, op] = story.steps[i];
        SCOPED_TRACE(std::string(story.name) + ", step " + std::to_string(i) + " at " + std::to_string(t));
        switch (op) {
        case Op::Idle: rules.seatIdle(t); break;
        case Op::Active: rules.seatActive(t); break;
        case Op::Start:
            ASSERT_TRUE(rules.wantsStart(t));
            rules.saverStarted(t);
            break;
        case Op::NoStart: EXPECT_FALSE(rules.wantsStart(t)); break;
        case Op::Refuse:
            ASSERT_TRUE(rules.wantsStart(t));
            rules.startRefused();
            break;
        case Op::Finished: line = rules.saverEnded(t, SaverEnd::Finished); break;
        case Op::Failed: line = rules.saverEnded(t, SaverEnd::Failed); break;
        case Op::ByWatch: line = rules.saverEnded(t, SaverEnd::EndedByWatch); break;
        case Op::Term:
            ASSERT_EQ(rules.signalDue(t), SaverSignal::Terminate);
            rules.signalSent(t, SaverSignal::Terminate);
            break;
        case Op::Kill:
            ASSERT_EQ(rules.signalDue(t), SaverSignal::Kill);
            rules.signalSent(t, SaverSignal::Kill);
            break;
        case Op::NoSignal: EXPECT_EQ(rules.signalDue(t), SaverSignal::None); break;
        case Op::Reported: EXPECT_NE(line.find("failed 3 times in a row"), std::string::npos) << line; break;
        case Op::Quiet: EXPECT_EQ(line, ""); break;
        }
    }
}

// Default times: outlive 5 s, kill grace 3 s, at once 5 s, retry 2 s, back
// off after 3 failures at once for 60 s, doubling.
TEST(IdleWatchRules, startEndAndBackOffAsTheUserAndTheSaverBehave) {
    const std::vector<Story> stories = {
        {"one saver an idle period, none while the user is there",
         {{0, Op::NoStart}, {0, Op::Idle}, {0, Op::Start}, {100, Op::NoStart}, {9000, Op::Finished},
          {9000, Op::NoStart}, {60000, Op::NoStart}, {61000, Op::Active}, {61000, Op::NoStart},
          {64000, Op::Idle}, {64000, Op::Start}}},
        {"locked or inhibited: nothing until the next idle period",
         {{0, Op::Idle}, {0, Op::Refuse}, {5000, Op::NoStart}, {6000, Op::Active}, {9000, Op::Idle},
          {9000, Op::Start}}},
        {"a saver outliving its user's return: SIGTERM, then SIGKILL",
         {{0, Op::Idle}, {0, Op::Start}, {1000, Op::Active}, {5999, Op::NoSignal}, {6000, Op::Term},
          {8999, Op::NoSignal}, {9000, Op::Kill}, {9500, Op::NoSignal}, {9600, Op::ByWatch}, {9600, Op::Quiet},
          {20000, Op::Idle}, {20000, Op::Start}}},
        {"idle again soon after: a saver that did not end on the input is still ended, then replaced",
         {{0, Op::Idle}, {0, Op::Start}, {1000, Op::Active}, {3000, Op::Idle}, {3000, Op::NoStart},
          {5999, Op::NoSignal}, {6000, Op::Term}, {6200, Op::ByWatch}, {6200, Op::Start}}},
        {"failing at once: retried, then reported once and backed off, across idle periods",
         {{0, Op::Idle}, {0, Op::Start}, {100, Op::Failed}, {100, Op::Quiet}, {2099, Op::NoStart},
          {2100, Op::Start}, {2200, Op::Failed}, {4200, Op::Start}, {4300, Op::Failed}, {4300, Op::Reported},
          {6300, Op::NoStart}, {10000, Op::Active}, {13000, Op::Idle}, {64299, Op::NoStart},
          {64300, Op::Start}, {64400, Op::Failed}, {64400, Op::Quiet}, {184399, Op::NoStart},
          {184400, Op::Start}}},
        {"a failure after a long run starts a new count",
         {{0, Op::Idle}, {0, Op::Start}, {100, Op::Failed}, {2100, Op::Start}, {2200, Op::Failed},
          {4200, Op::Start}, {60000, Op::Failed}, {60000, Op::Quiet}, {62000, Op::Start}, {62100, Op::Failed},
          {62100, Op::Quiet}, {64100, Op::Start}, {64200, Op::Failed}, {64200, Op::Reported},
          {66200, Op::NoStart}}},
        {"a run that ends well clears the failures",
         {{0, Op::Idle}, {0, Op::Start}, {100, Op::Failed}, {2100, Op::Start}, {2200, Op::Failed},
          {4200, Op::Start}, {9000, Op::Finished}, {10000, Op::Active}, {13000, Op::Idle}, {13000, Op::Start},
          {13100, Op::Failed}, {13100, Op::Quiet}, {15100, Op::Start}}},
        {"a saver the watch ended is no failure",
         {{0, Op::Idle}, {0, Op::Start}, {1000, Op::Active}, {6000, Op::Term}, {6100, Op::ByWatch},
          {6100, Op::Quiet}, {9000, Op::Idle}, {9000, Op::Start}}},
    };
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
    EXPECT_NE(blankDelayNote("GNOME", 120, 300).find("GNOME blanks the screen after 120 s"), std::string::npos);

    struct Kde {
        const char* text;
        unsigned seconds;
    };
    for (const Kde& k : std::vector<Kde>{
             {"[AC][DPMSControl]\nidleTime=600\n[Battery][DPMSControl]\nidleTime=60\n", 600},
             {"[Battery][DPMSControl]\nidleTime=60\n", 0},
             {"[AC][DimDisplay]\nidleTime=120000\n[AC][DPMSControl]\r\nidleTime=240\r\n", 240},
             {"[AC][Display]\nTurnOffDisplayIdleTimeoutSec=420\n", 420},
             {"[AC][DPMSControl]\nidleTime=ten\n", 0},
             {"[AC][DPMSControl]\nidleTime=-5\n", 0},
             {"", 0},
         })
        EXPECT_EQ(kdeScreenOffSeconds(k.text), k.seconds) << k.text;

    struct Exec {
        std::vector<std::string> arguments;
        const char* line;
    };
    // The quoting rule inside double quotes, then the string escapes: a
    // backslash ends up as four, a percent sign doubled.
    for (const Exec& e : std::vector<Exec>{
             {{"--idle", "300"}, "Exec=/usr/bin/kelvara --idle 300\n"},
             {{"--settings", "/home/a b/k"}, "Exec=/usr/bin/kelvara --settings \"/home/a b/k\"\n"},
             {{"--stats", "/t/100%"}, "Exec=/usr/bin/kelvara --stats /t/100%%\n"},
             {{"--settings", "$HOME\\x\"`"}, "Exec=/usr/bin/kelvara --settings \"\\\\$HOME\\\\\\\\x\\\\\"\\\\`\"\n"},
             {{"--settings", "a\nb"}, "Exec=/usr/bin/kelvara --settings \"a\\nb\"\n"},
         }) {
        const std::string entry = autostartEntry("/usr/bin/kelvara", e.arguments);
        EXPECT_NE(entry.find(std::string("\n") + e.line), std::string::npos) << entry;
        EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
    }
}

} // namespace
} // namespace kelvara
