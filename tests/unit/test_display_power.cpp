#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "display/display_power.h"
#include "unit/fake_display.h"

using namespace kelvara;

namespace {

// A gate over a display whose clock its naps advance.
struct GateRig {
    test::FakeDisplay display;
    std::vector<double> naps;
    std::atomic<int> running{1};
    std::function<void()> duringNap;

    DisplaySleepGate gate(double checkEveryMs) {
        return DisplaySleepGate(
            display, checkEveryMs, [this] { return display.now; },
            [this](double ms) {
                naps.push_back(ms);
                display.now += ms;
                if (duringNap)
                    duringNap();
            });
    }
};

} // namespace

TEST(DisplayPower, consoleDisplayStateValues) {
    EXPECT_EQ(displayPowerFromConsoleState(0), DisplayPower::Off);
    EXPECT_EQ(displayPowerFromConsoleState(1), DisplayPower::On);
    EXPECT_EQ(displayPowerFromConsoleState(2), DisplayPower::Dimmed);
    EXPECT_EQ(displayPowerFromConsoleState(3), DisplayPower::On);
}

TEST(DisplaySleepGate, aLitDisplayIsAskedAboutOnceASecond) {
    GateRig rig;
    DisplaySleepGate gate = rig.gate(1000.0);
    for (int frame = 0; frame < 600; ++frame) { // ten seconds at 60 fps
        EXPECT_FALSE(gate.waitWhileDark(rig.running));
        rig.display.now += 1000.0 / 60.0;
    }
    EXPECT_GE(rig.display.powerAskedAt.size(), 9u);
    EXPECT_LE(rig.display.powerAskedAt.size(), 11u);
    EXPECT_TRUE(rig.naps.empty());
}

TEST(DisplaySleepGate, aDimmedDisplayKeepsDrawing) {
    GateRig rig;
    rig.display.power = {DisplayPower::Dimmed};
    DisplaySleepGate gate = rig.gate(0.0);
    EXPECT_FALSE(gate.waitWhileDark(rig.running));
    EXPECT_TRUE(rig.naps.empty());
}

TEST(DisplaySleepGate, waitsWithoutSpinningUntilTheDisplayIsBack) {
    GateRig rig;
    // Off at the first question and for the next four, lit at the sixth.
    rig.display.power = {DisplayPower::Off, DisplayPower::Off, DisplayPower::Off, DisplayPower::Off,
                          DisplayPower::Off, DisplayPower::On};
    DisplaySleepGate gate = rig.gate(1000.0);
    EXPECT_TRUE(gate.waitWhileDark(rig.running));
    EXPECT_EQ(rig.display.powerAskedAt.size(), 6u);
    // Asked once a second in the dark too, napping in short slices between.
    for (std::size_t i = 1; i < rig.display.powerAskedAt.size(); ++i)
        EXPECT_NEAR(rig.display.powerAskedAt[i] - rig.display.powerAskedAt[i - 1], 1000.0, DisplaySleepGate::kNapMs);
    for (double ms : rig.naps)
        EXPECT_EQ(ms, DisplaySleepGate::kNapMs);
    // Lit again: the next frame goes ahead.
    EXPECT_FALSE(gate.waitWhileDark(rig.running));
}

TEST(DisplaySleepGate, theEndOfARunIsSeenInTheDark) {
    GateRig rig;
    rig.display.power = {DisplayPower::Off};
    int naps = 0;
    rig.duringNap = [&] {
        if (++naps == 3)
            rig.running = 0;
    };
    DisplaySleepGate gate = rig.gate(1000.0);
    EXPECT_TRUE(gate.waitWhileDark(rig.running));
    EXPECT_EQ(naps, 3) << "one nap after the stop at most";
}

TEST(DisplaySleepGate, aNoticeIsReadEveryFrameAndEveryNap) {
    DisplayPowerNotice notice;
    std::atomic<int> running{1};
    int naps = 0;
    DisplaySleepGate gate(
        notice, 0.0, [] { return 0.0; },
        [&](double) {
            if (++naps == 2)
                notice.set(DisplayPower::On); // the window thread hears the display is back
        });
    EXPECT_FALSE(gate.waitWhileDark(running));
    notice.set(DisplayPower::Off);
    EXPECT_TRUE(gate.waitWhileDark(running));
    EXPECT_EQ(naps, 2);
    notice.set(DisplayPower::Dimmed);
    EXPECT_FALSE(gate.waitWhileDark(running));
}
