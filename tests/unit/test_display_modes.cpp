#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "display/display_modes.h"
#include "unit/fake_display.h"

using namespace kelvara;
using namespace kelvara::test;

namespace {

using Kind = FakeDisplay::Kind;

// Refuses a request whose applied fields are exactly `fields`.
std::function<ModeChange(const DisplayMode&, ModeScope)> refuseFields(uint32_t fields, ModeChange result) {
    return
        [=](const DisplayMode& m, ModeScope) { return m.fields == fields ? result : ModeChange::Done; };
}

} // namespace

TEST(DisplayModes, exactMatchesAreRequestedInEnumerationOrderAsListed) {
    FakeDisplay display;
    display.modes = {mode(640, 480, 16, 60), mode(800, 600, 16, 60), mode(800, 600, 32, 60),
                     mode(800, 600, 16, 75), mode(1024, 768, 16, 60)};
    display.modes[1].platformRecord[7] = 0x5a; // the platform's own record travels with the mode
    display.answer = [](const DisplayMode& m, ModeScope) {
        return m.refreshHz == 60 ? ModeChange::Failed : ModeChange::Done;
    };

    EXPECT_TRUE(switchDisplayMode(display, 800, 600, 16));

    const auto changes = display.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].mode.refreshHz, 60);
    EXPECT_EQ(changes[0].mode.fields, kAllEnumerated);
    EXPECT_EQ(changes[0].mode.platformRecord[7], 0x5a);
    EXPECT_EQ(changes[1].mode.refreshHz, 75);
    EXPECT_EQ(changes[1].mode.fields, kAllEnumerated);
    for (const auto& c : changes) {
        EXPECT_EQ(c.mode.width, 800);
        EXPECT_EQ(c.mode.height, 600);
        EXPECT_EQ(c.mode.bitsPerPixel, 16);
        EXPECT_EQ(c.scope, ModeScope::ThisRun);
    }
    EXPECT_TRUE(display.callsOf(Kind::ShowError).empty());
    EXPECT_EQ(display.current.refreshHz, 75);

    // Taken at once: the later 75 Hz record is never asked for.
    FakeDisplay first;
    first.modes = display.modes;
    EXPECT_TRUE(switchDisplayMode(first, 800, 600, 16));
    ASSERT_EQ(first.callsOf(Kind::Change).size(), 1u);
    EXPECT_EQ(first.callsOf(Kind::Change)[0].mode.refreshHz, 60);
}

TEST(DisplayModes, unlistedModeFallsBackFromModeZerosRecord) {
    FakeDisplay display;
    display.modes = {mode(640, 480, 8, 72), mode(800, 600, 16, 60)};
    display.answer = refuseFields(kModeDepth | kModeWidth | kModeHeight, ModeChange::BadMode);

    EXPECT_TRUE(switchDisplayMode(display, 1152, 864, 32));

    const auto changes = display.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].mode.fields, kModeDepth | kModeWidth | kModeHeight);
    EXPECT_EQ(changes[1].mode.fields, kModeDepth);
    EXPECT_EQ(changes[2].mode.fields, kModeWidth | kModeHeight);
    for (const auto& c : changes) {
        EXPECT_EQ(c.mode.width, 1152);
        EXPECT_EQ(c.mode.height, 864);
        EXPECT_EQ(c.mode.bitsPerPixel, 32);
        EXPECT_EQ(c.mode.refreshHz, 72) << "the rest of the record is mode 0's";
        EXPECT_EQ(c.scope, ModeScope::ThisRun);
    }
    // The fallback record was filled again from mode 0 after the search.
    const auto enums = display.callsOf(Kind::Enumerate);
    ASSERT_EQ(enums.size(), 4u); // 0, 1, the end, then mode 0 again
    EXPECT_EQ(enums.back().index, 0);
    EXPECT_TRUE(display.callsOf(Kind::Reset).empty());
    EXPECT_TRUE(display.callsOf(Kind::ShowError).empty());
    EXPECT_EQ(display.current.width, 1152);
    EXPECT_EQ(display.current.bitsPerPixel, 32);
}

TEST(DisplayModes, fallbackBaseIsTheFirstRefusedCandidateButModeZeroCountsAsNone) {
    // Candidates at 1 and 3 refused: the base is 1 (85 Hz), not 3.
    FakeDisplay display;
    display.modes = {mode(640, 480, 8, 70), mode(800, 600, 16, 85), mode(640, 480, 16, 60),
                     mode(800, 600, 16, 100)};
    display.answer = [](const DisplayMode& m, ModeScope) {
        return m.fields == kAllEnumerated ? ModeChange::Failed : ModeChange::Done;
    };
    EXPECT_TRUE(switchDisplayMode(display, 800, 600, 16));
    auto changes = display.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[2].mode.fields, kModeDepth | kModeWidth | kModeHeight);
    EXPECT_EQ(changes[2].mode.refreshHz, 85);

    // Candidates at 0 and 2 refused: a refused mode 0 leaves the base open, so
    // the base is 2 (100 Hz).
    FakeDisplay zero;
    zero.modes = {mode(800, 600, 16, 60), mode(640, 480, 8, 70), mode(800, 600, 16, 100)};
    zero.answer = display.answer;
    EXPECT_TRUE(switchDisplayMode(zero, 800, 600, 16));
    changes = zero.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[2].mode.refreshHz, 100);

    // Only mode 0 refused: the base is mode 0 after all.
    FakeDisplay only;
    only.modes = {mode(800, 600, 16, 60), mode(640, 480, 8, 70)};
    only.answer = display.answer;
    EXPECT_TRUE(switchDisplayMode(only, 800, 600, 16));
    changes = only.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].mode.refreshHz, 60);
}

TEST(DisplayModes, displayWithoutModesStillTriesTheFallbacks) {
    FakeDisplay display;
    EXPECT_TRUE(switchDisplayMode(display, 800, 600, 16));
    const auto changes = display.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].mode.fields, kModeDepth | kModeWidth | kModeHeight);
    EXPECT_EQ(changes[0].mode.width, 800);
    EXPECT_EQ(changes[0].mode.refreshHz, 0);
}

TEST(DisplayModes, separateDepthSwitchFailingReportsAndStops) {
    FakeDisplay display;
    display.modes = {mode(640, 480, 8, 60), mode(1024, 768, 16, 60)};
    display.answer = [](const DisplayMode& m, ModeScope) {
        if (m.fields == (kModeDepth | kModeWidth | kModeHeight))
            return ModeChange::Failed;
        if (m.fields == kModeDepth)
            return ModeChange::BadMode;
        return ModeChange::Done;
    };

    EXPECT_FALSE(switchDisplayMode(display, 1024, 768, 32));

    EXPECT_EQ(display.sequence(),
              (std::vector<Kind>{Kind::Current, Kind::Change, Kind::Change, Kind::ShowError}));
    const auto boxes = display.callsOf(Kind::ShowError);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The video mode 1024x768x32-bit color is not supported\n");
    EXPECT_EQ(boxes[0].caption, "SS Error");
    EXPECT_EQ(display.current.width, 1280) << "nothing was changed";
}

TEST(DisplayModes, separateSizeSwitchFailingResetsBeforeTheReport) {
    FakeDisplay display;
    display.modes = {mode(640, 480, 8, 60)};
    display.answer = [](const DisplayMode& m, ModeScope) {
        if (m.fields == (kModeDepth | kModeWidth | kModeHeight))
            return ModeChange::BadMode;
        if (m.fields == (kModeWidth | kModeHeight))
            return ModeChange::NeedsRestart;
        return ModeChange::Done;
    };

    EXPECT_FALSE(switchDisplayMode(display, 1024, 768, 32));

    EXPECT_EQ(display.sequence(), (std::vector<Kind>{Kind::Current, Kind::Change, Kind::Change, Kind::Change,
                                                     Kind::Reset, Kind::ShowError}));
    EXPECT_EQ(display.callsOf(Kind::ShowError)[0].text,
              "You must change your video mode to 1024x768x32-bit color and then restart\n");
    EXPECT_EQ(display.current.bitsPerPixel, 32) << "the stored mode is back";
    EXPECT_EQ(display.current.width, 1280);
}

TEST(DisplayModes, failureTextFollowsTheLastResult) {
    EXPECT_EQ(displayFailureText(ModeChange::NeedsRestart, 800, 600, 16),
              "You must change your video mode to 800x600x16-bit color and then restart\n");
    EXPECT_EQ(displayFailureText(ModeChange::BadMode, 800, 600, 16),
              "The video mode 800x600x16-bit color is not supported\n");
    EXPECT_EQ(displayFailureText(ModeChange::Failed, 800, 600, 16),
              "Hardware failed to change to 800x600x16-bit color\n");
    EXPECT_EQ(displayFailureText(ModeChange::Other, 800, 600, 16),
              "Failed to change to 800x600x16-bit color - unknown reason\n");

    // Through the switch: a refusal of another kind from the depth step, with
    // the numbers as given, signs included.
    FakeDisplay display;
    display.answer = [](const DisplayMode& m, ModeScope) {
        return m.fields == (kModeWidth | kModeHeight) ? ModeChange::Done : ModeChange::Other;
    };
    EXPECT_FALSE(switchDisplayMode(display, -640, 480, 2147483647));
    const auto boxes = display.callsOf(Kind::ShowError);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to change to -640x480x2147483647-bit color - unknown reason\n");
}

TEST(DisplayModes, listShowsEveryModeDeeperThanFourBitsInEnumerationOrder) {
    FakeDisplay display;
    display.modes = {mode(640, 480, 1, 60),  mode(640, 480, 4, 60),   mode(640, 480, 8, 60),
                     mode(800, 600, 15, 60), mode(800, 600, 16, 60),  mode(800, 600, 16, 75),
                     mode(640, 480, 2, 60),  mode(1024, 768, 24, 60), mode(640, 480, 32, 85)};
    std::vector<std::string> entries = {"Current Resolution", "Custom (Enter below)"};

    listDisplayModes(display, &entries);

    EXPECT_EQ(entries, (std::vector<std::string>{"Current Resolution", "Custom (Enter below)", "640x480x8",
                                                 "800x600x15", "800x600x16", "800x600x16", "1024x768x24",
                                                 "640x480x32"}));
    EXPECT_EQ(display.callsOf(Kind::Enumerate).size(), display.modes.size() + 1);
    EXPECT_EQ(display.sequence(), std::vector<Kind>{}) << "listing changes nothing";
}

TEST(DisplayModes, listWithoutWindowOnlyEnumerates) {
    FakeDisplay display;
    display.modes = {mode(640, 480, 8, 60), mode(800, 600, 16, 60), mode(1024, 768, 32, 60)};
    listDisplayModes(display, nullptr);
    const auto enums = display.callsOf(Kind::Enumerate);
    ASSERT_EQ(enums.size(), 4u);
    for (std::size_t i = 0; i < enums.size(); ++i)
        EXPECT_EQ(enums[i].index, static_cast<int32_t>(i));
    EXPECT_EQ(display.calls.size(), enums.size());
}

TEST(DisplayModes, restorePutsBackTheModeFromBeforeTheFirstSwitch) {
    FakeDisplay display;
    display.modes = {mode(640, 480, 8, 60), mode(800, 600, 16, 60), mode(1024, 768, 16, 70)};
    display.current = mode(1280, 1024, 32, 75);
    display.stored = mode(1600, 1200, 32, 60); // differs, so a reset would show

    // Nothing switched yet: nothing to do.
    EXPECT_TRUE(restoreDisplayMode(display));
    EXPECT_TRUE(display.calls.empty());

    ASSERT_TRUE(switchDisplayMode(display, 800, 600, 16));
    ASSERT_TRUE(switchDisplayMode(display, 1024, 768, 16));
    EXPECT_EQ(display.current.width, 1024);
    display.calls.clear();

    EXPECT_TRUE(restoreDisplayMode(display));
    ASSERT_EQ(display.calls.size(), 1u);
    EXPECT_EQ(display.calls[0].kind, Kind::Change);
    EXPECT_EQ(display.calls[0].scope, ModeScope::Lasting) << "the user's own mode, not one for this run only";
    EXPECT_EQ(display.current.width, 1280);
    EXPECT_EQ(display.current.height, 1024);
    EXPECT_EQ(display.current.bitsPerPixel, 32);
    EXPECT_EQ(display.current.refreshHz, 75);

    // Once restored, a second restore does nothing.
    display.calls.clear();
    EXPECT_TRUE(restoreDisplayMode(display));
    EXPECT_TRUE(display.calls.empty());
}

TEST(DisplayModes, failedSwitchLeavesNothingToRestore) {
    FakeDisplay display;
    display.answer = [](const DisplayMode&, ModeScope) { return ModeChange::Failed; };
    EXPECT_FALSE(switchDisplayMode(display, 800, 600, 16));
    display.calls.clear();
    EXPECT_TRUE(restoreDisplayMode(display));
    EXPECT_TRUE(display.calls.empty());
}

TEST(DisplayModes, restoreFallsBackToTheStoredMode) {
    // The earlier mode is refused when asked for again.
    FakeDisplay refused;
    refused.current = mode(1280, 1024, 32, 75);
    refused.stored = mode(1600, 1200, 32, 60);
    ASSERT_TRUE(switchDisplayMode(refused, 800, 600, 16));
    refused.answer = [](const DisplayMode&, ModeScope) { return ModeChange::Failed; };
    refused.calls.clear();
    EXPECT_FALSE(restoreDisplayMode(refused));
    EXPECT_EQ(refused.sequence(), (std::vector<Kind>{Kind::Change, Kind::Reset}));
    EXPECT_EQ(refused.current.width, 1600);

    // The earlier mode could not be read at the switch.
    FakeDisplay unknown;
    unknown.currentReadable = false;
    ASSERT_TRUE(switchDisplayMode(unknown, 800, 600, 16));
    unknown.calls.clear();
    EXPECT_FALSE(restoreDisplayMode(unknown));
    EXPECT_EQ(unknown.sequence(), std::vector<Kind>{Kind::Reset});
    EXPECT_TRUE(unknown.callsOf(Kind::ShowError).empty());
}

namespace {

// A monitor's native size listed three times, as real monitors do: 59.95 Hz,
// interlaced at the very rate of the current mode, and the current 60.00 Hz
// mode last. Ids tell them apart.
std::vector<DisplayMode> namesakes() {
    return {mode(1024, 768, 24, 59.95, 2), mode(1024, 768, 24, 60.0, 3), mode(800, 600, 24, 60.32, 4),
            mode(800, 600, 24, 56.25, 5), mode(1024, 768, 24, 60.0, 1)};
}

} // namespace

TEST(DisplayModes, listedModeIsPickedByItsIdAmongNamesakes) {
    const std::vector<DisplayMode> listed = namesakes();
    const DisplayMode current = listed[2];
    EXPECT_EQ(pickListedMode(listed, listed[4], current), 4);
    EXPECT_EQ(pickListedMode(listed, listed[1], current), 1);
    // An id the display no longer lists: the first mode that fits.
    EXPECT_EQ(pickListedMode(listed, mode(1024, 768, 24, 60.0, 9), current), 1);
    // An id whose mode has another size than asked (a fallback built on a
    // listed record): the size counts, not the id.
    DisplayMode resized = listed[4];
    resized.width = 800;
    resized.height = 600;
    resized.fields = kModeDepth | kModeWidth | kModeHeight;
    EXPECT_EQ(pickListedMode(listed, resized, current), 2);
    // Size and depth alone, on the record of a later namesake: the first fit.
    DisplayMode sizeOnly = listed[4];
    sizeOnly.fields = kModeDepth | kModeWidth | kModeHeight;
    EXPECT_EQ(pickListedMode(listed, sizeOnly, current), 0);
}

TEST(DisplayModes, sizeDepthAndRateTakeTheFirstMatchWithRatesComparedExactly) {
    const std::vector<DisplayMode> listed = namesakes();
    const DisplayMode current = listed[4];
    EXPECT_EQ(pickListedMode(listed, mode(1024, 768, 24, 60.0), current), 1) << "60.00, not 59.95";
    EXPECT_EQ(pickListedMode(listed, mode(1024, 768, 24, 59.95), current), 0);
    EXPECT_EQ(pickListedMode(listed, mode(1024, 768, 24, 60.004), current), -1) << "no rounding";
    EXPECT_EQ(pickListedMode(listed, mode(800, 600, 24, 56.25), current), 3);
    EXPECT_EQ(pickListedMode(listed, mode(800, 600, 16, 56.25), current), -1) << "the depth counts";
    DisplayMode anyRate = mode(800, 600, 24, 0.0);
    anyRate.fields = kModeDepth | kModeWidth | kModeHeight;
    EXPECT_EQ(pickListedMode(listed, anyRate, current), 2) << "the first of the size";
}

TEST(DisplayModes, depthAloneKeepsTheCurrentModeNotANamesake) {
    const std::vector<DisplayMode> listed = namesakes();
    DisplayMode depth = mode(0, 0, 24, 0.0);
    depth.fields = kModeDepth;
    EXPECT_EQ(pickListedMode(listed, depth, listed[4]), 4);
    EXPECT_EQ(pickListedMode(listed, depth, listed[3]), 3);
    depth.bitsPerPixel = 32;
    EXPECT_EQ(pickListedMode(listed, depth, listed[4]), -1);
}

TEST(DisplayModes, restoreGivesBackTheVeryModeAmongNamesakes) {
    FakeDisplay display;
    display.modes = namesakes();
    display.current = display.modes[4];

    ASSERT_TRUE(switchDisplayMode(display, 800, 600, 24));
    EXPECT_EQ(display.current.platformId, 4u) << "the first listed 800x600, as listed";
    ASSERT_TRUE(restoreDisplayMode(display));

    const auto changes = display.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].mode.platformId, 1u);
    EXPECT_EQ(display.current.platformId, 1u);
    EXPECT_EQ(display.current.refreshHz, 60.0);
}
