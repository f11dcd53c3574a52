// kelvara-preset-settings: the stored values of the defaults with one fixed
// preset applied, as the settings file holds them, so a script can hand the
// same settings to the native saver (its settings file) and to the Windows
// build (its registry key) without a second copy of the preset table.
#include <cstdio>
#include <string>
#include <vector>

#include "preset_names.h"
#include "settings/presets.h"
#include "settings/settings_store.h"
#include "settings/store_file.h"

namespace {

constexpr const char* kUsage = "usage: kelvara-preset-settings defaults|NAME   (NAME as --list prints it)\n"
                               "       kelvara-preset-settings --list\n";

} // namespace

int main(int argc, char** argv) {
    using namespace kelvara;
    if (argc != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string arg = argv[1];
    if (arg == "--list") {
        for (std::string_view name : presetNames())
            std::printf("%.*s\n", static_cast<int>(name.size()), name.data());
        return 0;
    }
    const std::optional<PresetChoice> choice = presetByName(arg);
    if (!choice) {
        std::fprintf(stderr, "kelvara-preset-settings: no preset named \"%s\"\n%s", arg.c_str(), kUsage);
        return 2;
    }
    Settings settings;
    if (choice->preset)
        applyPreset(settings, *choice->preset);
    std::vector<StoredValue> values;
    for (const SettingField& field : kSettingFields)
        values.push_back({field.name, storedFieldValue(settings, field)});
    std::fputs(formatSettingsText(values).c_str(), stdout);
    return 0;
}
