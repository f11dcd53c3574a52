#include "cli/saver_options.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "cli/command_line.h"
#include "settings/printable_text.h"
#include "settings/setting_text.h"

namespace kelvara {

namespace {

// What a run option does besides its kind: takes its value into `opts`; false
// when the value is not one it takes.
using TakeValue = bool (*)(SaverOptions& opts, const char* value);

struct RunOption {
    const char* name;
    int hasArg;
    const char* argName;
    const char* help;
    // A run option asks for a kind of run, and only one may stand on a command
    // line; the others only adjust the run.
    std::optional<RunKind> kind;
    TakeValue take; // null: nothing more to take
    // The reason a refused value gets: what the option needs, then the value
    // itself unless `quoteValue` is false (an empty value shows nothing).
    const char* needs;
    bool quoteValue;
};

bool takeRoot(SaverOptions& opts, const char*) {
    opts.intoRoot = true;
    return true;
}
bool takeWindowId(SaverOptions& opts, const char* value) {
    return (opts.window = parseWindowId(value)) != 0;
}
bool takeSettingsFile(SaverOptions& opts, const char* value) {
    opts.settingsFile = value;
    return *value != '\0';
}
bool takeNoVsync(SaverOptions& opts, const char*) {
    opts.run.control.waitForRetrace = false;
    return true;
}
bool takeMaxFps(SaverOptions& opts, const char* value) {
    return parseMaxFps(value, opts.run.control.maxFps);
}
bool takeFps(SaverOptions& opts, const char*) {
    opts.run.showFrameRate = true;
    return true;
}
bool takeSeconds(SaverOptions& opts, const char* value) {
    return parseRunSeconds(value, opts.run.control.limits.seconds);
}
bool takeFrames(SaverOptions& opts, const char* value) {
    return parseFrameCount(value, opts.run.control.limits.frames);
}
bool takeStatsFile(SaverOptions& opts, const char* value) {
    opts.run.control.statsFile = value;
    return *value != '\0';
}
bool parseIdleSeconds(const char* value, unsigned& seconds) {
    if (*value < '0' || *value > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(value, &end, 10);
    if (errno != 0 || *end != '\0' || v < 1 || v > kMaxIdleSeconds)
        return false;
    seconds = static_cast<unsigned>(v);
    return true;
}
bool takeIdle(SaverOptions& opts, const char* value) {
    return parseIdleSeconds(value, opts.idleSeconds);
}
bool takeAutostart(SaverOptions& opts, const char* value) {
    opts.idleSeconds = 0;
    return std::strcmp(value, "off") == 0 || parseIdleSeconds(value, opts.idleSeconds);
}

// getopt returns kRunOptionBase plus an option's place in this table, and
// kSettingOptionBase plus a setting's place in the settings table.
constexpr int kRunOptionBase = 0x100;
constexpr int kSettingOptionBase = 0x200;

// clang-format off
const RunOption kRunOptions[] = {
    {"root", no_argument, nullptr,
     "draw on the root window (or the window in XSCREENSAVER_WINDOW) until a signal ends the run",
     RunKind::IntoWindow, takeRoot, nullptr, false},
    {"window-id", required_argument, "ID",
     "draw into window ID (decimal or 0x hex) until it goes away or a signal ends the run",
     RunKind::IntoWindow, takeWindowId, "-window-id needs a window number", true},
    {"window", no_argument, nullptr, "run in an ordinary window; a key or closing it ends the run",
     RunKind::Windowed, nullptr, nullptr, false},
    {"fullscreen", no_argument, nullptr,
     "cover the screen; a key, a button or moving the mouse ends the run (the default)",
     RunKind::FullScreen, nullptr, nullptr, false},
    {"wayland", no_argument, nullptr,
     "cover every output of a Wayland compositor with layer-shell (wlroots compositors such as sway, "
     "Hyprland, river, labwc, Wayfire; KDE; GNOME cannot); a key, "
     "a button or moving the mouse ends the run. A plain kelvara does this by itself when WAYLAND_DISPLAY "
     "names such a compositor",
     RunKind::Wayland, nullptr, nullptr, false},
    {"grant-capture", no_argument, nullptr,
     "KDE: write a .desktop entry for this program's own path to ~/.local/share/applications, so that "
     "KWin hands it each output's picture (the Debian package installs one for /usr/bin/kelvara)",
     RunKind::GrantCapture, nullptr, nullptr, false},
    {"revoke-capture", no_argument, nullptr, "KDE: remove the entry --grant-capture wrote",
     RunKind::RevokeCapture, nullptr, nullptr, false},
    {"allow-capture", no_argument, nullptr,
     "GNOME (and KDE without the entry): take one screenshot through the desktop portal now, so that its "
     "one-time question \"Allow Applications to Take Screenshots?\" is answered by you, not by nobody when "
     "the saver starts; the picture is deleted at once",
     RunKind::AllowCapture, nullptr, nullptr, false},
    {"idle", required_argument, "S",
     "stay in the Wayland session and, each time the seat has been idle for S seconds (1 to 86400), run the "
     "saver on every output as --wayland does, with the settings and measuring options given after it; not "
     "while an idle inhibitor holds (a playing video), the session is locked or a saver runs. Idle time "
     "comes from ext-idle-notify-v1, org_kde_kwin_idle or GNOME's IdleMonitor. One watch per session: a "
     "second one exits 0",
     RunKind::IdleWatch, takeIdle, "--idle needs a whole number of seconds from 1 to 86400", true},
    {"autostart", required_argument, "S|off",
     "start the idle watch (--idle S, with the options given after it) with every desktop session from now "
     "on, through ~/.config/autostart/kelvara-idle.desktop; off removes that entry",
     RunKind::Autostart, takeAutostart, "--autostart needs seconds from 1 to 86400 or off", true},
    {"config", no_argument, nullptr, "print where the settings file is and the current values (as /c)",
     RunKind::Configure, nullptr, nullptr, false},
    {"list-modes", no_argument, nullptr, "print the display's modes as WIDTHxHEIGHTxDEPTH (for resW, resH, resC)",
     RunKind::ListModes, nullptr, nullptr, false},
    {"settings", required_argument, "FILE", "keep the settings in FILE instead of the user's file",
     std::nullopt, takeSettingsFile, "--settings needs a file name", false},
    {"no-vsync", no_argument, nullptr,
     "present frames without waiting for the vertical retrace (frames are still held to the display's "
     "refresh rate; add --max-fps 0 to measure the renderer)",
     std::nullopt, takeNoVsync, nullptr, false},
    {"max-fps", required_argument, "N",
     "draw at most N frames a second (0: no cap); by default the display's refresh rate wherever the "
     "retrace wait does not hold frames to it",
     std::nullopt, takeMaxFps, "--max-fps needs a whole number of frames a second from 0 (no cap) to 1000", true},
    {"fps", no_argument, nullptr, "show frames per second and frame time in a corner",
     std::nullopt, takeFps, nullptr, false},
    {"seconds", required_argument, "S",
     "end the run by itself after S seconds of drawing, as a key would (settings saved)",
     std::nullopt, takeSeconds, "--seconds needs a number of seconds above 0 and up to a day", true},
    {"frames", required_argument, "N", "end the run by itself after N frames, as a key would",
     std::nullopt, takeFrames, "--frames needs a whole number of frames from 1", true},
    {"stats", required_argument, "FILE",
     "write frame statistics to FILE when the run ends (frames, fps, frame times, start-up, memory)",
     std::nullopt, takeStatsFile, "--stats needs a file name", false},
    {"help", no_argument, nullptr, "show this help and exit", RunKind::Help, nullptr, nullptr, false},
    {"version", no_argument, nullptr, "show the version and exit", RunKind::Version, nullptr, nullptr, false},
};
// clang-format on

std::vector<option> optionTable() {
    std::vector<option> table;
    for (std::size_t i = 0; i < std::size(kRunOptions); ++i)
        table.push_back(
            {kRunOptions[i].name, kRunOptions[i].hasArg, nullptr, kRunOptionBase + static_cast<int>(i)});
    for (std::size_t i = 0; i < kSettingFields.size(); ++i)
        table.push_back(
            {kSettingFields[i].name, required_argument, nullptr, kSettingOptionBase + static_cast<int>(i)});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

bool parseSetting(const SettingField& field, const char* text, SettingOverride& out) {
    return parseSettingValue(field, text, out.intValue, out.floatValue);
}

} // namespace

uint64_t parseWindowId(const char* text) {
    // strtoull would also take leading blanks and a sign, and negate: " -5"
    // would name window 2^64 - 5. Only a plain number is a window id.
    if (!text || *text < '0' || *text > '9')
        return 0;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0')
        return 0;
    return v;
}

std::vector<std::string> settingOptionNames() {
    std::vector<std::string> names;
    for (const SettingField& f : kSettingFields)
        names.push_back(std::string("--") + f.name);
    return names;
}

std::vector<std::string> acceptedOptionNames() {
    std::vector<std::string> names;
    for (const RunOption& o : kRunOptions)
        names.push_back(std::string("--") + o.name);
    for (const std::string& s : settingOptionNames())
        names.push_back(s);
    return names;
}

namespace {

// Words from the command line quoted in a reason: one line however long or
// odd they are. (Built by appending: GCC 12 warns falsely about "'" + std::string.)
std::string quoted(const char* text) {
    std::string q(1, '\'');
    q += printableExcerpt(text ? text : "");
    q += '\'';
    return q;
}

// One scan of the command line: what it asked for so far.
struct Scan {
    ParsedOptions result;
    int runOptions = 0; // how many options asked for a kind of run
    bool done = false;  // --help or --version: nothing after them counts

    bool fail(std::string text) {
        result.ok = false;
        result.error = std::move(text);
        return false;
    }
};

// What getopt returned as `code` for `word`: false with the reason when the
// command line cannot run.
bool takeOption(Scan& scan, int code, const char* word, const char* value) {
    SaverOptions& opts = scan.result.options;
    if (code == ':')
        return scan.fail("option " + quoted(word) + " needs a value");
    const auto runIndex = static_cast<std::size_t>(code - kRunOptionBase);
    if (code >= kRunOptionBase && runIndex < std::size(kRunOptions)) {
        const RunOption& o = kRunOptions[runIndex];
        if (o.kind) {
            ++scan.runOptions;
            opts.kind = *o.kind;
            scan.done = *o.kind == RunKind::Help || *o.kind == RunKind::Version;
        }
        if (o.take && !o.take(opts, value ? value : ""))
            return scan.fail(o.quoteValue ? std::string(o.needs) + ", not " + quoted(value) : o.needs);
        return true;
    }
    const auto index = static_cast<std::size_t>(code - kSettingOptionBase);
    if (code < kSettingOptionBase || index >= kSettingFields.size())
        return scan.fail("unknown option " + quoted(word));
    const SettingField& field = kSettingFields[index];
    SettingOverride o;
    o.field = index;
    if (!parseSetting(field, value, o))
        return scan.fail(std::string("--") + field.name + " needs " +
                         (field.type == FieldType::Int ? "a whole number" : "a number") + ", not " +
                         quoted(value));
    opts.run.overrides.push_back(o);
    return true;
}

// The Windows switches, as the words getopt left.
bool takeSwitches(Scan& scan, const std::vector<const char*>& rest) {
    SaverOptions& opts = scan.result.options;
    const std::string text = joinArguments(rest);
    // An empty word is not "no arguments", which would be the /c run.
    const bool emptyWord = std::any_of(rest.begin(), rest.end(), [](const char* w) { return *w == '\0'; });
    const SaverCommand command = emptyWord ? SaverCommand{} : parseSaverCommand(text);
    if (!command.recognised)
        return scan.fail("unknown switch " + quoted(text.c_str()));
    ++scan.runOptions;
    switch (command.mode) {
    case SaverMode::Saver:
        opts.kind = RunKind::FullScreen;
        break;
    case SaverMode::Preview:
        if (command.window == 0)
            return scan.fail("/p needs the number of the window to draw into");
        opts.kind = RunKind::IntoWindow;
        opts.window = command.window;
        opts.preview = true;
        break;
    case SaverMode::Configure:
        opts.kind = RunKind::Configure;
        break;
    case SaverMode::ChangePassword:
        return scan.fail("/a: this system keeps the screen saver's password itself");
    }
    return true;
}

// The options getopt finds, up to the first that fails or ends the scan;
// where it stopped in `stop`.
bool takeOptions(Scan& scan, int argc, std::vector<char*>& args, int& stop) {
    const std::vector<option> table = optionTable();
    // getopt keeps its place in globals; 0 starts a fresh scan.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int previous = optind == 0 ? 1 : optind;
        const int code = getopt_long_only(argc, args.data(), ":", table.data(), nullptr);
        if (code == -1)
            break;
        const char* word = previous < argc ? args[static_cast<std::size_t>(previous)] : "";
        if (code == '?')
            return scan.fail("unknown option " + quoted(word));
        if (!takeOption(scan, code, word, optarg))
            return false;
        if (scan.done)
            break;
    }
    stop = optind;
    return true;
}

} // namespace

ParsedOptions parseSaverOptions(int argc, char* const* argv, const char* screensaverWindow) {
    Scan scan;
    SaverOptions& opts = scan.result.options;
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    int stop = argc;
    if (!takeOptions(scan, argc, args, stop))
        return scan.result;
    if (scan.done) {
        scan.result.ok = true;
        return scan.result;
    }
    if (stop < argc &&
        !takeSwitches(scan, std::vector<const char*>(args.begin() + stop, args.begin() + argc)))
        return scan.result;
    if (scan.runOptions > 1) {
        scan.fail(
            "give only one of -root, -window-id, --window, --fullscreen, --wayland, --idle, --autostart, "
            "--config, --list-modes, --grant-capture, --revoke-capture, --allow-capture or a /switch");
        return scan.result;
    }

    // XScreenSaver names its window in the environment and passes -root.
    const uint64_t envWindow = parseWindowId(screensaverWindow);
    if (envWindow != 0 && (opts.intoRoot || scan.runOptions == 0)) {
        opts.kind = RunKind::IntoWindow;
        opts.intoRoot = false;
        opts.window = envWindow;
        opts.screensaverWindow = true;
    }
    opts.kindByDefault = scan.runOptions == 0 && !opts.screensaverWindow;
    scan.result.ok = true;
    return scan.result;
}

void applyOverrides(Settings& s, const std::vector<SettingOverride>& overrides) {
    for (const SettingOverride& o : overrides) {
        const SettingField& field = kSettingFields[o.field];
        if (field.type == FieldType::Int)
            setIntField(s, field, o.intValue);
        else
            setFloatField(s, field, o.floatValue);
    }
}

void revertOverrides(Settings& s, const Settings& stored, const std::vector<SettingOverride>& overrides) {
    for (const SettingOverride& o : overrides) {
        const SettingField& field = kSettingFields[o.field];
        if (field.type == FieldType::Int)
            setIntField(s, field, intField(stored, field));
        else
            setFloatField(s, field, floatField(stored, field));
    }
}

namespace {

// Enough digits that the number reads back as the very same value.
std::string exactNumber(double value, int digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

} // namespace

std::vector<std::string> runArguments(const SaverOptions& options) {
    std::vector<std::string> words;
    const RunControl& control = options.run.control;
    if (!options.settingsFile.empty())
        words.insert(words.end(), {"--settings", options.settingsFile});
    if (control.limits.seconds > 0)
        words.insert(words.end(), {"--seconds", exactNumber(control.limits.seconds, 17)});
    if (control.limits.frames > 0)
        words.insert(words.end(), {"--frames", std::to_string(control.limits.frames)});
    if (!control.statsFile.empty())
        words.insert(words.end(), {"--stats", control.statsFile});
    if (!control.waitForRetrace)
        words.push_back("--no-vsync");
    if (control.maxFps != kMaxFpsDisplayRate)
        words.insert(words.end(), {"--max-fps", std::to_string(control.maxFps)});
    if (options.run.showFrameRate)
        words.push_back("--fps");
    for (const SettingOverride& o : options.run.overrides) {
        const SettingField& field = kSettingFields[o.field];
        words.push_back(std::string("--") + field.name);
        words.push_back(field.type == FieldType::Int ? std::to_string(o.intValue)
                                                     : exactNumber(o.floatValue, 9));
    }
    return words;
}

std::vector<OptionHelp> runOptionHelp() {
    std::vector<OptionHelp> out;
    for (const RunOption& o : kRunOptions)
        out.push_back({std::string("--") + o.name, o.argName ? o.argName : "", o.help});
    return out;
}

namespace {

constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kHelpTextColumn = 24;

// One entry of --help: the option in the left column, its text wrapped in the
// right one (below the option when the option fills the column).
std::string helpEntry(const std::string& option, const std::string& text) {
    std::string left = "  " + option;
    if (left.size() + 2 <= kHelpTextColumn)
        left.resize(kHelpTextColumn, ' ');
    else
        left += "\n" + std::string(kHelpTextColumn, ' ');
    return left + wrapText(text, kHelpWidth, kHelpTextColumn, kHelpTextColumn);
}

} // namespace

std::string waylandText() {
    return "On Wayland, kelvara --wayland (or a plain kelvara when WAYLAND_DISPLAY names such a compositor) "
           "covers every output with an overlay of its own, each showing that output's desktop. It uses "
           "the layer-shell protocol where there is one: wlroots compositors (sway, Hyprland, river, labwc, "
           "Wayfire) and KDE; on GNOME, which has none, each output gets a full-screen window instead. It "
           "holds no idle inhibitor: the user's idle daemon (or kelvara --idle) starts it.";
}

std::string waylandLockText() {
    return "The & matters: with -w swayidle waits for each command to end, so a saver run in the foreground "
           "would hold back the locker until the user is back. Kelvara does not lock the session: keys still "
           "reach the compositor's own bindings while it runs. The locker locks, at the later timeout, over "
           "the saver; after unlocking, a key or the mouse ends the saver.";
}

std::string desktopCaptureText() {
    return "Each output's picture, per desktop: on wlroots compositors (sway, Hyprland, river, labwc, "
           "Wayfire) everything works with nothing to turn on. On KDE Plasma KWin hands over each output's "
           "picture to the installed /usr/bin/kelvara (the Debian package holds its .desktop entry); a "
           "kelvara run from elsewhere needs kelvara --grant-capture once (kelvara --revoke-capture takes "
           "it back), "
           "else it asks the desktop portal. On GNOME the picture comes from the desktop portal: the first "
           "time, GNOME asks \"Allow Applications to Take Screenshots?\" (answer it once with kelvara "
           "--allow-capture), and each start the screen flashes and may play the shutter sound; the overlay "
           "is an ordinary full-screen window, and nothing locks. Without a picture Kelvara shows its logo "
           "and says why in one line.";
}

std::string idleWatchText() {
    return "Without an idle daemon, kelvara --idle SECONDS is its own: it stays in the session and starts "
           "kelvara --wayland (with the options given after it) each time the seat has been idle that long. "
           "It takes the idle time from the compositor (ext-idle-notify-v1: KDE Plasma 5.27 and later, sway "
           "1.8 and later, Hyprland, niri, COSMIC, labwc, river, Wayfire; org_kde_kwin_idle: older KDE and "
           "sway) or from GNOME's IdleMonitor, and starts nothing while an idle inhibitor holds (a playing "
           "video), the session is locked or its saver still runs. A saver ends when the desktop's locker or "
           "blanking takes over or the machine goes to sleep, also one started by hand. kelvara --autostart "
           "300 makes the session start kelvara --idle 300 at every login (an entry in "
           "~/.config/autostart/, which GNOME and KDE read); kelvara --autostart off removes it. Nothing "
           "starts by itself on install.";
}

std::string helpText() {
    std::string text = "Usage: kelvara [OPTION]... [/s | /p ID | /c]\n"
                       "Animates a picture of the desktop in 3D with OpenGL.\n"
                       "Options take one dash or two.\n\n";
    for (const OptionHelp& o : runOptionHelp())
        text += helpEntry(o.argument.empty() ? o.option : o.option + " " + o.argument, o.help);
    text += "\nWindows switches:\n";
    text += helpEntry("/s", "as --fullscreen");
    text += helpEntry("/p ID", "a preview in window ID (small capture, no input rules)");
    text += helpEntry("/c", "as --config");
    text +=
        "\n" + wrapText("Settings, for this run only (the stored values are kept). Each takes a number N; "
                        "the range given is what makes sense, other values are taken as they are.",
                        kHelpWidth, 0, 0);
    for (const SettingField& f : kSettingFields)
        text += helpEntry(std::string("--") + f.name + " N", std::string(f.meaning) + " Values " +
                                                                 settingRangeText(f) + "; default " +
                                                                 settingDefaultText(f) + ".");
    text += "\n" + wrapText("The settings file is $XDG_CONFIG_HOME/kelvara/settings (or "
                            "~/.config/kelvara/settings).",
                            kHelpWidth, 0, 0);
    text += "\n" + wrapText(waylandText(), kHelpWidth, 0, 0);
    text += wrapText(desktopCaptureText(), kHelpWidth, 0, 0);
    text += "With swayidle:\n  " + std::string(kSwayidleRecipe) + "\n";
    text += wrapText("or, with hypridle, these listeners in ~/.config/hypr/hypridle.conf:", kHelpWidth, 0, 0);
    for (std::size_t at = 0, end;
         (end = std::string_view(kHypridleRecipe).find('\n', at)) != std::string::npos; at = end + 1)
        text += "  " + std::string(kHypridleRecipe + at, end - at) + "\n";
    text += wrapText(waylandLockText(), kHelpWidth, 0, 0) + "\n";
    text += wrapText(idleWatchText(), kHelpWidth, 0, 0) + "\n";
    text += wrapText("Exit status: 0 after a run (ended by input, a signal, a limit, its window or the "
                     "Wayland compositor going away, the desktop's locker or a sleep; on Wayland "
                     "resW/resH/resC are ignored with one line), also when another full-screen run already "
                     "shows; 1 when the run could not start or went wrong (no display or compositor, no "
                     "OpenGL, no such window, on X11 a display mode that cannot be set, statistics not "
                     "written, a Wayland protocol error; --idle: no idle source; the reason is on stderr), 2 "
                     "for a bad command line.",
                     kHelpWidth, 0, 0);
    return text;
}

} // namespace kelvara
