#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "settings/settings.h"
#include "unit/setting_values.h"

using namespace kelvara;
using kelvara::test::fieldValue;

namespace {

} // namespace

TEST(Settings, tableListsTheTwentyNineFieldsInStoredOrder) {
    const char* expected[] = {"Priority", "x_div", "y_div", "xyAmplitude", "xyFrequency1", "xyFrequency2",
                              "xySizeX", "xySizeY", "Mode", "genChildren", "xyGoraud", "useLinear",
                              "screenTextureWidth", "screenTextureHeight", "useTrails", "enableMovement",
                              "rotX0", "rotX1", "rotY0", "rotY1", "rotZ0", "rotZ1", "zoom0", "zoom1",
                              "useOGL", "randPreset", "resW", "resH", "resC"};
    ASSERT_EQ(kSettingFields.size(), std::size(expected));
    std::set<std::size_t> offsets;
    int floats = 0;
    for (std::size_t i = 0; i < kSettingFields.size(); ++i) {
        EXPECT_STREQ(kSettingFields[i].name, expected[i]) << "position " << i;
        offsets.insert(kSettingFields[i].offset);
        floats += kSettingFields[i].type == FieldType::Float;
    }
    EXPECT_EQ(offsets.size(), kSettingCount) << "two fields share a place in the record";
    EXPECT_EQ(floats, 15);
    EXPECT_EQ(sizeof(Settings), kSettingCount * 4);
}

TEST(Settings, defaultsComeBackAfterAnyEdit) {
    Settings s;
    // Scribble over every byte, as a hostile store could.
    std::memset(static_cast<void*>(&s), 0x7f, sizeof s);
    setDefaults(s);
    for (const SettingField& f : kSettingFields)
        EXPECT_EQ(fieldValue(s, f), f.defaultValue) << f.name;

    // The values the rest of the program relies on, spelled out.
    EXPECT_EQ(s.Priority, 2);
    EXPECT_EQ(s.x_div, 25.0f);
    EXPECT_EQ(s.y_div, 19.0f);
    EXPECT_EQ(s.Mode, kExplode);
    EXPECT_EQ(s.screenTextureWidth, 512);
    EXPECT_EQ(s.screenTextureHeight, 256);
    EXPECT_EQ(s.enableMovement, 1);
    EXPECT_EQ(s.zoom0, 25.0f);
    EXPECT_EQ(s.resW, 0);
    EXPECT_EQ(s.resH, 0);
    EXPECT_EQ(s.resC, 0);
    EXPECT_FALSE(wantsDisplaySwitch(s));
}

TEST(Settings, displaySwitchNeedsAllThreeValues) {
    Settings s;
    s.resW = 800;
    s.resH = 600;
    EXPECT_FALSE(wantsDisplaySwitch(s));
    s.resC = 16;
    EXPECT_TRUE(wantsDisplaySwitch(s));
    s.resW = 0;
    EXPECT_FALSE(wantsDisplaySwitch(s));
}

TEST(Settings, priorityTableAndOutOfRangeSteps) {
    const std::pair<const char*, ThreadPriority> table[] = {
        {"Lowest", ThreadPriority::Lowest},   {"Below Normal", ThreadPriority::BelowNormal},
        {"Normal", ThreadPriority::Normal},   {"Above Normal", ThreadPriority::AboveNormal},
        {"Highest", ThreadPriority::Highest}, {"Time Critical", ThreadPriority::TimeCritical}};
    for (int step = 0; step < 6; ++step) {
        EXPECT_STREQ(priorityLabel(step), table[step].first);
        EXPECT_EQ(threadPriorityFor(step), table[step].second);
    }
    for (int bad : {-1, 6, 9, 2147483647, -2147483647 - 1}) {
        EXPECT_EQ(threadPriorityFor(bad), ThreadPriority::Normal) << bad;
        EXPECT_STREQ(priorityLabel(bad), "Normal") << bad;
    }
}
