#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "settings/presets.h"

namespace kelvara {

// The fixed presets by the names a person calls them ("Explode 1" to
// "Explode 4", "Wave 1" to "Wave 4"), in kPresets order.
std::array<std::string_view, 8> presetNames();

// What a name asks for: a preset, or the defaults with none applied.
struct PresetChoice {
    std::optional<Preset> preset;
};

// The choice a name stands for ("defaults" or a preset's name); nothing for
// anything else. Letter case and blanks do not matter: "wave3" is "Wave 3".
std::optional<PresetChoice> presetByName(std::string_view name);

} // namespace kelvara
