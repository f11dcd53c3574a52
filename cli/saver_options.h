#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/run_control.h"
#include "settings/settings.h"

namespace kelvara {

// The runs of the native program.
enum class RunKind {
    FullScreen,    // a window over the whole screen that ends on input
    Wayland,       // a layer-shell surface over every Wayland output that ends on input
    IdleWatch,     // stay in the session and start a Wayland run each time the seat is idle
    Autostart,     // add or remove the session's autostart entry for the idle watch
    Windowed,      // an ordinary window for trying settings out
    IntoWindow,    // drawing into a window someone else made (-root, -window-id, /p)
    Configure,     // print where the settings live and what they hold
    ListModes,     // print the display modes a switch can ask for
    GrantCapture,  // write the user's .desktop entry that lets KWin hand over the desktop's picture
    RevokeCapture, // remove it
    AllowCapture,  // ask the desktop portal once, while the user is there to answer
    Help,
    Version,
};

// One setting given on the command line: it replaces the stored value for
// this run only.
struct SettingOverride {
    std::size_t field = 0; // index into kSettingFields
    int32_t intValue = 0;
    float floatValue = 0;
};

// What a run is asked for besides the stored settings, the same for every
// host: the session takes it whole.
struct RunOptions {
    RunControl control;                     // --seconds, --frames, --stats, --no-vsync, --max-fps
    bool showFrameRate = false;             // --fps
    std::vector<SettingOverride> overrides; // this run only; never saved
};

struct SaverOptions {
    RunKind kind = RunKind::FullScreen;
    // IntoWindow: the window drawn into; 0 with intoRoot set means the root.
    uint64_t window = 0;
    bool intoRoot = false;
    bool screensaverWindow = false; // the window came from XSCREENSAVER_WINDOW
    bool preview = false;           // /p: the small capture of a preview
    // No run option, no switch and no XSCREENSAVER_WINDOW: the program picks
    // how to cover the screen (Wayland where it can, else X11).
    bool kindByDefault = false;
    std::string settingsFile; // empty: the user's settings file
    // IdleWatch: how long the seat must be idle before a run starts.
    // Autostart: the watch's time for the entry, 0 to remove the entry.
    unsigned idleSeconds = 0;
    RunOptions run;
};

// The longest idle time the watch takes: a day, as a run's limit.
inline constexpr unsigned kMaxIdleSeconds = 86400;

// Exit code for a command line the program cannot run.
inline constexpr int kExitUsage = 2;

struct ParsedOptions {
    bool ok = false;
    std::string error; // one line, without the program's name, when !ok
    SaverOptions options;
};

// Reads argv (argv[0] is the program's name). Options take one or two dashes
// (XScreenSaver passes --root or -root, and -window-id); the Windows switches
// /s, /p ID and /c are taken as the words they are. `screensaverWindow` is the
// XSCREENSAVER_WINDOW variable (or null): with -root, or with no run option at
// all, that window is drawn into instead of the root.
ParsedOptions parseSaverOptions(int argc, char* const* argv, const char* screensaverWindow);

// A window id as X tools print it: decimal, or hexadecimal with 0x. 0 when
// the text is not a whole number that fits.
uint64_t parseWindowId(const char* text);

// "--x_div" and so on: one option per setting, named as the setting.
std::vector<std::string> settingOptionNames();

// Every option the program accepts, as "--name", the setting options included.
std::vector<std::string> acceptedOptionNames();

// Writes the overrides into `s`.
void applyOverrides(Settings& s, const std::vector<SettingOverride>& overrides);

// Puts back the fields `overrides` names from `stored`, so a save at the end
// of the run keeps the user's values rather than this run's.
void revertOverrides(Settings& s, const Settings& stored, const std::vector<SettingOverride>& overrides);

// The options of `options` that shape each run the idle watch starts (the
// settings file, the measuring options, the settings overrides), as words of
// a command line that parseSaverOptions reads back to the same values. The
// run kind is not among them: the caller puts --wayland or --idle first.
std::vector<std::string> runArguments(const SaverOptions& options);

// A run option as --help and the manual page describe it.
struct OptionHelp {
    std::string option;   // "--window-id"
    std::string argument; // "ID", or empty
    std::string help;
};

// The run options (not the settings), in --help's order.
std::vector<OptionHelp> runOptionHelp();

// How Kelvara runs on Wayland, for --help and the manual page: where it
// works, the idle daemons' recipes, and that it does not lock the session.
std::string waylandText();
std::string waylandLockText();
// What each desktop gives the Wayland saver and how to turn it on.
std::string desktopCaptureText();
// How the idle watch and its autostart entry start the saver by themselves.
std::string idleWatchText();
inline constexpr const char* kSwayidleRecipe =
    "swayidle -w timeout 300 'kelvara --wayland &' timeout 600 'swaylock -f'";
inline constexpr const char* kHypridleRecipe = "listener {\n"
                                               "    timeout = 300\n"
                                               "    on-timeout = kelvara --wayland\n"
                                               "}\n"
                                               "listener {\n"
                                               "    timeout = 600\n"
                                               "    on-timeout = swaylock -f\n"
                                               "}\n";

// The text of --help: every line within 80 columns.
std::string helpText();

} // namespace kelvara
