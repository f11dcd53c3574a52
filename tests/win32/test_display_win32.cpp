#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/display_modes.h"
#include "display/display_win32.h"
#include "unit/fake_display.h"

using namespace kelvara;

namespace {

using Kind = test::FakeDisplay::Kind;

// The real display, with every call noted.
test::FakeDisplay notingDisplay() {
    test::FakeDisplay display;
    display.real = &systemDisplay();
    return display;
}

} // namespace

TEST(DisplayWin32, listsTheModeTheDisplayRunsNow) {
    DEVMODEA now{};
    now.dmSize = sizeof now;
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &now));

    DisplayMode current;
    ASSERT_TRUE(systemDisplay().currentMode(current));
    EXPECT_EQ(current.width, static_cast<int32_t>(now.dmPelsWidth));
    EXPECT_EQ(current.height, static_cast<int32_t>(now.dmPelsHeight));
    EXPECT_EQ(current.bitsPerPixel, static_cast<int32_t>(now.dmBitsPerPel));

    std::vector<std::string> entries;
    listDisplayModes(systemDisplay(), &entries);
    ASSERT_FALSE(entries.empty());
    if (now.dmBitsPerPel > 4) {
        const std::string text = displayModeText(current.width, current.height, current.bitsPerPixel);
        EXPECT_NE(std::find(entries.begin(), entries.end(), text), entries.end()) << text;
    }

    DisplayMode past;
    int32_t count = 0;
    while (systemDisplay().enumerate(count, past))
        ++count;
    EXPECT_GE(count, static_cast<int32_t>(entries.size()));
    EXPECT_FALSE(systemDisplay().enumerate(-5, past));
}

TEST(DisplayWin32, switchingToTheCurrentModeAndBackLeavesItInPlace) {
    DisplayMode before;
    ASSERT_TRUE(systemDisplay().currentMode(before));

    // The listed record, requested as the platform gave it, is taken at once.
    test::FakeDisplay display = notingDisplay();
    ASSERT_TRUE(switchDisplayMode(display, before.width, before.height, before.bitsPerPixel));
    std::vector<test::FakeDisplay::Call> changes = display.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].scope, ModeScope::ThisRun);
    EXPECT_TRUE(changes[0].mode.hasPlatformRecord);
    EXPECT_NE(changes[0].mode.fields & kModeAsListed, 0u);
    EXPECT_NE(changes[0].mode.fields & kModeWidth, 0u);
    ASSERT_TRUE(display.savedMode.has_value());
    EXPECT_TRUE(display.savedMode->known);

    EXPECT_TRUE(restoreDisplayMode(display));
    EXPECT_FALSE(display.savedMode.has_value());
    changes = display.callsOf(Kind::Change);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].scope, ModeScope::Lasting);
    EXPECT_EQ(changes[1].result, ModeChange::Done);
    EXPECT_TRUE(display.callsOf(Kind::ShowError).empty()) << "no message box";

    DisplayMode after;
    ASSERT_TRUE(systemDisplay().currentMode(after));
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.bitsPerPixel, before.bitsPerPixel);
}

TEST(DisplayWin32, fallbackRequestsCarryTheSystemsFieldBits) {
    EXPECT_EQ(dmFieldsOf(kModeDepth | kModeWidth | kModeHeight), 0x1C0000u);
    EXPECT_EQ(dmFieldsOf(kModeDepth), 0x40000u);
    EXPECT_EQ(dmFieldsOf(kModeWidth | kModeHeight), 0x180000u);
    EXPECT_EQ(dmFieldsOf(kModeRate), static_cast<DWORD>(DM_DISPLAYFREQUENCY));
    EXPECT_EQ(modeFieldsOf(DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS),
              kModeAsListed | kModeDepth | kModeWidth | kModeHeight);
}

TEST(DisplayWin32, changeResultsMapToTheirKinds) {
    EXPECT_EQ(modeChangeOf(DISP_CHANGE_SUCCESSFUL), ModeChange::Done);
    EXPECT_EQ(modeChangeOf(DISP_CHANGE_RESTART), ModeChange::NeedsRestart);
    EXPECT_EQ(modeChangeOf(DISP_CHANGE_FAILED), ModeChange::Failed);
    EXPECT_EQ(modeChangeOf(DISP_CHANGE_BADMODE), ModeChange::BadMode);
    for (LONG other : {-3L, -4L, -5L, -6L, 2L, 12345L})
        EXPECT_EQ(modeChangeOf(other), ModeChange::Other) << other;
}
