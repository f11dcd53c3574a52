#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "settings/settings.h"
#include "settings/settings_store.h"

namespace kelvara {

// The eight fixed presets, in the order a random draw picks them (draw
// modulo 8): Explode 1 to 4, then Wave 1 to 4. The dialog's buttons map to
// these in ui/.
enum class Preset { Explode1, Explode2, Explode3, Explode4, Wave1, Wave2, Wave3, Wave4 };
inline constexpr std::array<Preset, 8> kPresets = {Preset::Explode1, Preset::Explode2, Preset::Explode3,
                                                   Preset::Explode4, Preset::Wave1,    Preset::Wave2,
                                                   Preset::Wave3,    Preset::Wave4};

// Sets the grid, view mode, wave or explode option and movement fields of
// `preset`; every other field keeps its value.
void applyPreset(Settings& s, Preset preset);

// The render thread's random preset for one draw of its random sequence
// (0..32767): preset number draw % 8 of kPresets.
Preset presetForDraw(int draw);

// User banks A to D are numbers 0 to 3. A bank keeps these fields, named here
// rather than counted off the stored order: a field's position in this list is
// its number in the bank's value names, so it must never move. Everything but
// the display mode (resW, resH, resC) is kept.
inline constexpr int kBankCount = 4;
// clang-format off
inline constexpr std::string_view kBankFieldNames[] = {
    "Priority", "x_div", "y_div", "xyAmplitude", "xyFrequency1", "xyFrequency2", "xySizeX", "xySizeY",
    "Mode", "genChildren", "xyGoraud", "useLinear", "screenTextureWidth", "screenTextureHeight", "useTrails",
    "enableMovement", "rotX0", "rotX1", "rotY0", "rotY1", "rotZ0", "rotZ1", "zoom0", "zoom1",
    "useOGL", "randPreset",
};
// clang-format on
inline constexpr std::size_t kBankFieldCount = std::size(kBankFieldNames);

std::span<const SettingField, kBankFieldCount> bankFields();

// "usersave%02d_%02d": bank number, then field number.
std::string bankValueName(int bank, int field);

// Float fields in a bank are whole numbers read back as signed 32-bit
// integers. Truncates toward zero and saturates to the int32 range, so every
// value in it survives a save and recall as its whole part; NaN stores 0.
int32_t bankValueFromFloat(float v);
inline float floatFromBankValue(int32_t v) {
    return static_cast<float>(v);
}

// Writes the bank's values from `s`. A bank number outside 0..3 or a store
// that cannot be written does nothing.
void saveBank(int bank, const Settings& s, SettingsStore& store);

// Reads the bank's fields into `s`; a value the store does not have sets its
// field to 0 (not to the default). When the key cannot be opened, or the bank
// number is outside 0..3, nothing changes. resW, resH and resC never change.
void recallBank(int bank, Settings& s, const SettingsStore& store);

} // namespace kelvara
