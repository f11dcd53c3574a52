#include "preset_names.h"

#include <cctype>
#include <string>


namespace kelvara {

namespace {

std::string folded(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

} // namespace

std::array<std::string_view, 8> presetNames() {
    return {"Explode 1", "Explode 2", "Explode 3", "Explode 4", "Wave 1", "Wave 2", "Wave 3", "Wave 4"};
}

std::optional<PresetChoice> presetByName(std::string_view name) {
    const std::string key = folded(name);
    if (key == "defaults")
        return PresetChoice{};
    const auto names = presetNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (folded(names[i]) == key)
            return PresetChoice{kPresets[i]};
    }
    return std::nullopt;
}

} // namespace kelvara
