#include <gtest/gtest.h>

#include <set>
#include <string>

#include "preset_names.h"
#include "settings/presets.h"

namespace kelvara {
namespace {

TEST(PresetNames, everyNameFindsItsOwnPresetOnce) {
    const auto names = presetNames();
    std::set<int> ids;
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(presetIdByName(names[i]), kPresetIds[i]) << names[i];
        ids.insert(presetIdByName(names[i]));
    }
    EXPECT_EQ(ids.size(), names.size());
}

TEST(PresetNames, caseAndBlanksDoNotMatter) {
    EXPECT_EQ(presetIdByName("wave3"), IDC_PRESET_WAVE3);
    EXPECT_EQ(presetIdByName("  WAVE 3 "), IDC_PRESET_WAVE3);
    EXPECT_EQ(presetIdByName("Explode4"), IDC_PRESET_EXPLODE4);
    EXPECT_EQ(presetIdByName("Defaults"), kDefaultsPreset);
}

TEST(PresetNames, unknownNamesAreRefused) {
    for (const char* bad : {"", "wave", "wave 5", "wave 33", "explode 0", "default"})
        EXPECT_EQ(presetIdByName(bad), -1) << bad;
}

TEST(PresetNames, appliedPresetSetsTheNamedMode) {
    // Wave 3 shows a wave, Explode 1 the pieces: the names are not swapped.
    Settings wave;
    ASSERT_TRUE(applyPreset(wave, presetIdByName("Wave 3")));
    EXPECT_NE(wave.Mode, kExplode);
    Settings explode;
    explode.Mode = kWave1;
    ASSERT_TRUE(applyPreset(explode, presetIdByName("Explode 1")));
    EXPECT_EQ(explode.Mode, kExplode);
}

} // namespace
} // namespace kelvara
