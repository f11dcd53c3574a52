#include <gtest/gtest.h>

#include <set>
#include <string>

#include "preset_names.h"
#include "settings/presets.h"

namespace kelvara {
namespace {

Preset presetNamed(std::string_view name) {
    const std::optional<PresetChoice> choice = presetByName(name);
    EXPECT_TRUE(choice && choice->preset) << name;
    return choice && choice->preset ? *choice->preset : Preset::Explode1;
}

TEST(PresetNames, everyNameFindsItsOwnPresetOnce) {
    const auto names = presetNames();
    std::set<Preset> presets;
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(presetNamed(names[i]), kPresets[i]) << names[i];
        presets.insert(presetNamed(names[i]));
    }
    EXPECT_EQ(presets.size(), names.size());
}

TEST(PresetNames, caseAndBlanksDoNotMatter) {
    EXPECT_EQ(presetNamed("wave3"), Preset::Wave3);
    EXPECT_EQ(presetNamed("  WAVE 3 "), Preset::Wave3);
    EXPECT_EQ(presetNamed("Explode4"), Preset::Explode4);
    const std::optional<PresetChoice> defaults = presetByName("Defaults");
    ASSERT_TRUE(defaults.has_value());
    EXPECT_FALSE(defaults->preset.has_value());
}

TEST(PresetNames, unknownNamesAreRefused) {
    for (const char* bad : {"", "wave", "wave 5", "wave 33", "explode 0", "default"})
        EXPECT_FALSE(presetByName(bad).has_value()) << bad;
}

TEST(PresetNames, appliedPresetSetsTheNamedMode) {
    // Wave 3 shows a wave, Explode 1 the pieces: the names are not swapped.
    Settings wave;
    applyPreset(wave, presetNamed("Wave 3"));
    EXPECT_NE(wave.Mode, kExplode);
    Settings explode;
    explode.Mode = kWave1;
    applyPreset(explode, presetNamed("Explode 1"));
    EXPECT_EQ(explode.Mode, kExplode);
}

} // namespace
} // namespace kelvara
