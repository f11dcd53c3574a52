// Entry point of the native Linux program.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/saver_options.h"
#include "display/display_modes.h"
#include "host/saver_host.h"
#ifdef KELVARA_WAYLAND
#include "host/capture_permission_wayland.h"
#endif
#include "kelvara_version.h"
#include "settings/failure_line.h"
#include "settings/printable_text.h"
#include "settings/settings_store.h"
#include "settings/store_file.h"

namespace {

using namespace kelvara;

// The /c run on a system without the dialog: where the settings are and what
// they hold, in the file's own form.
int printConfiguration(const std::filesystem::path& file, const SettingsStore& store) {
    if (file.empty()) {
        reportFailure("no settings file: neither XDG_CONFIG_HOME nor HOME is set");
        return 1;
    }
    std::error_code error;
    const bool exists = std::filesystem::exists(file, error);
    std::printf("Settings file: %s%s\n", file.c_str(),
                exists ? "" : " (not written yet: the defaults apply)");
    Settings settings;
    loadSettings(settings, store);
    for (const SettingField& field : kSettingFields) {
        if (field.type == FieldType::Int)
            std::printf("%s=%d\n", field.name, intField(settings, field));
        else
            std::printf("%s=%.0f\n", field.name, static_cast<double>(floatField(settings, field)));
    }
    std::printf("Change a value for one run with --NAME VALUE, or edit the file.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseSaverOptions(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    if (!parsed.ok) {
        reportFailure("%s (try --help)", parsed.error.c_str());
        return kExitUsage;
    }
    const SaverOptions& options = parsed.options;
    switch (options.kind) {
    case RunKind::Help:
        std::fputs(helpText().c_str(), stdout);
        return 0;
    case RunKind::Version:
        std::printf("kelvara %s\n", KELVARA_VERSION);
        return 0;
    case RunKind::ListModes: {
        std::vector<std::string> modes;
        listDisplayModes(systemDisplay(), &modes);
        for (const std::string& mode : modes)
            std::printf("%s\n", mode.c_str());
        return modes.empty() ? 1 : 0;
    }
#ifdef KELVARA_WAYLAND
    case RunKind::GrantCapture:
    case RunKind::RevokeCapture:
        return grantCapture(options.kind == RunKind::GrantCapture);
    case RunKind::AllowCapture:
        return allowCapture();
#else
    case RunKind::GrantCapture:
    case RunKind::RevokeCapture:
    case RunKind::AllowCapture:
        reportFailure("this kelvara was built without Wayland: it takes no picture from a Wayland desktop");
        return 1;
#endif
    default:
        break;
    }
    const std::filesystem::path file = options.settingsFile.empty()
                                           ? defaultSettingsFilePath()
                                           : std::filesystem::path(options.settingsFile);
    // A folder can never hold the settings: a mistake on the command line
    // rather than a file that went bad.
    std::error_code error;
    if (!options.settingsFile.empty() && std::filesystem::is_directory(file, error)) {
        reportFailure("--settings '%s' is a folder, not a file (try --help)",
                      printableExcerpt(options.settingsFile).c_str());
        return kExitUsage;
    }
    FileStore store(file);
    if (options.kind == RunKind::Configure)
        return printConfiguration(file, store);
#ifdef KELVARA_WAYLAND
    if (options.kind == RunKind::IdleWatch)
        return runIdleWatch(options);
    if (options.kind == RunKind::Autostart)
        return setAutostart(options);
    // Under a Wayland compositor an X11 window cannot cover the other
    // programs, and Xwayland refuses the desktop's picture.
    if (options.kind == RunKind::Wayland || (options.kindByDefault && waylandCanCover()))
        return runWaylandSaver(options, store);
#else
    if (options.kind == RunKind::Wayland || options.kind == RunKind::IdleWatch ||
        options.kind == RunKind::Autostart) {
        reportFailure("--wayland, --idle, --autostart: this kelvara was built without Wayland (scripts/setup "
                      "installs what the "
                      "build needs)");
        return 1;
    }
#endif
    return runSaver(options, store);
}
