#pragma once

#include <array>
#include <string_view>

namespace kelvara {

// The fixed presets by the names a person calls them ("Explode 1" to
// "Explode 4", "Wave 1" to "Wave 4"), in kPresetIds order.
std::array<std::string_view, 8> presetNames();

// kDefaultsPreset for "defaults", the preset's button id for its name, -1 for
// anything else. Letter case and blanks do not matter: "wave3" is "Wave 3".
inline constexpr int kDefaultsPreset = 0;
int presetIdByName(std::string_view name);

} // namespace kelvara
