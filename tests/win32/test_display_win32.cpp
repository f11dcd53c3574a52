#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/display_modes.h"

using namespace kelvara;

namespace {

// The real display, with every change request and its answer noted.
struct NotingDisplay : DisplayBackend {
    struct Change {
        DisplayMode mode;
        uint32_t flags;
        int32_t result;
    };
    std::vector<Change> changes;

    bool enumerate(int32_t index, DisplayMode& mode) override {
        return systemDisplay().enumerate(index, mode);
    }
    bool currentMode(DisplayMode& mode) override { return systemDisplay().currentMode(mode); }
    int32_t change(const DisplayMode& mode, uint32_t flags) override {
        const int32_t result = systemDisplay().change(mode, flags);
        changes.push_back({mode, flags, result});
        return result;
    }
    int32_t resetToRegistryMode() override { return systemDisplay().resetToRegistryMode(); }
    void showError(const std::string& text, const char*) override {
        ADD_FAILURE() << "message box: " << text;
    }
};

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
    NotingDisplay display;
    ASSERT_TRUE(switchDisplayMode(display, before.width, before.height, before.bitsPerPixel));
    ASSERT_EQ(display.changes.size(), 1u);
    EXPECT_EQ(display.changes[0].flags, static_cast<uint32_t>(CDS_FULLSCREEN));
    EXPECT_TRUE(display.changes[0].mode.hasPlatformRecord);
    EXPECT_NE(display.changes[0].mode.fields & DM_PELSWIDTH, 0u);
    ASSERT_TRUE(display.savedMode.has_value());
    EXPECT_TRUE(display.savedMode->known);

    EXPECT_TRUE(restoreDisplayMode(display));
    EXPECT_FALSE(display.savedMode.has_value());
    ASSERT_EQ(display.changes.size(), 2u);
    EXPECT_EQ(display.changes[1].flags, 0u);
    EXPECT_EQ(display.changes[1].result, DISP_CHANGE_SUCCESSFUL);

    DisplayMode after;
    ASSERT_TRUE(systemDisplay().currentMode(after));
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.bitsPerPixel, before.bitsPerPixel);
}
