#include <gtest/gtest.h>

#include "capture/xscreensaver_prefs.h"

using namespace kelvara;

TEST(XScreenSaverPrefs, readsTheChoiceAsTheSettingsDialogWritesIt) {
    const char* file = "# XScreenSaver Preferences File\n"
                       "mode:\t\tone\n"
                       "grabDesktopImages:\tFalse\n"
                       "grabVideoFrames:\tTrue\n";
    EXPECT_EQ(grabDesktopImagesIn(file), std::optional<bool>(false));
    EXPECT_EQ(grabDesktopImagesIn("grabDesktopImages: True\r\n"), std::optional<bool>(true));
    EXPECT_EQ(grabDesktopImagesIn("  grabDesktopImages :on"), std::optional<bool>(true));
    EXPECT_EQ(grabDesktopImagesIn("grabDesktopImages: NO\n"), std::optional<bool>(false));
}

TEST(XScreenSaverPrefs, systemDefaultsAndQualifiedNamesCount) {
    EXPECT_EQ(grabDesktopImagesIn("*grabDesktopImages:\tFalse\n"), std::optional<bool>(false));
    EXPECT_EQ(grabDesktopImagesIn("xscreensaver.grabDesktopImages: yes\n"), std::optional<bool>(true));
    // Other resources and look-alikes do not.
    EXPECT_EQ(grabDesktopImagesIn("grabDesktopImagesToo: False\nnotgrabDesktopImages: False\n"),
              std::nullopt);
    EXPECT_EQ(grabDesktopImagesIn("grabVideoFrames: False\n"), std::nullopt);
    EXPECT_EQ(grabDesktopImagesIn(""), std::nullopt);
}

TEST(XScreenSaverPrefs, theLastValidEntryWinsAndCommentsAndUnknownValuesAreSkipped) {
    EXPECT_EQ(grabDesktopImagesIn("grabDesktopImages: True\ngrabDesktopImages: False\n"),
              std::optional<bool>(false));
    EXPECT_EQ(grabDesktopImagesIn("grabDesktopImages: False\ngrabDesktopImages: maybe\n"),
              std::optional<bool>(false));
    EXPECT_EQ(grabDesktopImagesIn("! grabDesktopImages: False\n# grabDesktopImages: False\n"), std::nullopt);
}

TEST(XScreenSaverPrefs, aContinuedEntryHidesWhatItContinues) {
    // The last line of the program list, not a resource of its own.
    const char* file = "programs:\t\t\t\t\t\\\n"
                       "  GL: kelvara --root\t\t\t\t\\n\\\n"
                       "grabDesktopImages: False\n"
                       "\n"
                       "lock: False\n";
    EXPECT_EQ(grabDesktopImagesIn(file), std::nullopt);
    EXPECT_EQ(grabDesktopImagesIn("programs: \\\r\ngrabDesktopImages: False\ngrabDesktopImages: True\n"),
              std::optional<bool>(true));
}

TEST(XScreenSaverPrefs, theUsersWordComesBeforeTheSystemsAndItsOwnDefault) {
    GrabChoice c = desktopGrabChoice(false, true);
    EXPECT_FALSE(c.allowed);
    EXPECT_EQ(c.source, GrabChoiceSource::UserFile);
    c = desktopGrabChoice(true, false);
    EXPECT_TRUE(c.allowed);
    EXPECT_EQ(c.source, GrabChoiceSource::UserFile);
    c = desktopGrabChoice(std::nullopt, false);
    EXPECT_FALSE(c.allowed);
    EXPECT_EQ(c.source, GrabChoiceSource::SystemDefaults);
    c = desktopGrabChoice(std::nullopt, std::nullopt);
    EXPECT_TRUE(c.allowed);
    EXPECT_EQ(c.source, GrabChoiceSource::BuiltIn);
}
