#include "cli/saver_options.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cli/command_line.h"
#include "settings/printable_text.h"
#include "settings/setting_text.h"

namespace kelvara {

namespace {

// Values getopt returns for the options; settings start at kSettingOptionBase
// and follow the table's order.
enum OptionId : int {
    kOptHelp = 0x100,
    kOptVersion,
    kOptRoot,
    kOptWindowId,
    kOptWindow,
    kOptFullScreen,
    kOptSettings,
    kOptNoVsync,
    kOptMaxFps,
    kOptConfig,
    kOptFps,
    kOptListModes,
    kOptSeconds,
    kOptFrames,
    kOptStats,
    kOptWayland,
    kSettingOptionBase = 0x200,
};

struct RunOption {
    const char* name;
    int hasArg;
    int id;
    const char* argName;
    const char* help;
};

constexpr RunOption kRunOptions[] = {
    {"root", no_argument, kOptRoot, nullptr,
     "draw on the root window (or the window in XSCREENSAVER_WINDOW) until a signal ends the run"},
    {"window-id", required_argument, kOptWindowId, "ID",
     "draw into window ID (decimal or 0x hex) until it goes away or a signal ends the run"},
    {"window", no_argument, kOptWindow, nullptr,
     "run in an ordinary window; a key or closing it ends the run"},
    {"fullscreen", no_argument, kOptFullScreen, nullptr,
     "cover the screen; a key, a button or moving the mouse ends the run (the default)"},
    {"wayland", no_argument, kOptWayland, nullptr,
     "cover every output of a Wayland compositor with layer-shell (wlroots compositors such as sway, "
     "Hyprland, river, labwc, Wayfire; KDE shows the logo, having no screencopy; GNOME cannot); a key, "
     "a button or moving the mouse ends the run. A plain kelvara does this by itself when WAYLAND_DISPLAY "
     "names such a compositor"},
    {"config", no_argument, kOptConfig, nullptr,
     "print where the settings file is and the current values (as /c)"},
    {"list-modes", no_argument, kOptListModes, nullptr,
     "print the display's modes as WIDTHxHEIGHTxDEPTH (for resW, resH, resC)"},
    {"settings", required_argument, kOptSettings, "FILE",
     "keep the settings in FILE instead of the user's file"},
    {"no-vsync", no_argument, kOptNoVsync, nullptr,
     "present frames without waiting for the vertical retrace (frames are still held to the display's "
     "refresh rate; add --max-fps 0 to measure the renderer)"},
    {"max-fps", required_argument, kOptMaxFps, "N",
     "draw at most N frames a second (0: no cap); by default the display's refresh rate wherever the "
     "retrace wait does not hold frames to it"},
    {"fps", no_argument, kOptFps, nullptr, "show frames per second and frame time in a corner"},
    {"seconds", required_argument, kOptSeconds, "S",
     "end the run by itself after S seconds of drawing, as a key would (settings saved)"},
    {"frames", required_argument, kOptFrames, "N", "end the run by itself after N frames, as a key would"},
    {"stats", required_argument, kOptStats, "FILE",
     "write frame statistics to FILE when the run ends (frames, fps, frame times, start-up, memory)"},
    {"help", no_argument, kOptHelp, nullptr, "show this help and exit"},
    {"version", no_argument, kOptVersion, nullptr, "show the version and exit"},
};

std::vector<option> optionTable() {
    std::vector<option> table;
    for (const RunOption& o : kRunOptions)
        table.push_back({o.name, o.hasArg, nullptr, o.id});
    for (std::size_t i = 0; i < kSettingFields.size(); ++i)
        table.push_back(
            {kSettingFields[i].name, required_argument, nullptr, kSettingOptionBase + static_cast<int>(i)});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

bool parseSetting(const SettingField& field, const char* text, SettingOverride& out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    if (field.type == FieldType::Int) {
        const long long v = std::strtoll(text, &end, 10);
        if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
            return false;
        out.intValue = static_cast<int32_t>(v);
    } else {
        const float v = std::strtof(text, &end);
        if (errno != 0 || *end != '\0' || !std::isfinite(v))
            return false;
        out.floatValue = v;
    }
    return true;
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

ParsedOptions parseSaverOptions(int argc, char* const* argv, const char* screensaverWindow) {
    ParsedOptions result;
    SaverOptions& opts = result.options;
    // Words from the command line quoted in the reason: one line however long
    // or odd they are.
    // (Built by appending: GCC 12 warns falsely about "'" + std::string.)
    auto quoted = [](const char* text) {
        std::string q(1, '\'');
        q += printableExcerpt(text ? text : "");
        q += '\'';
        return q;
    };
    auto fail = [&result](std::string text) {
        result.ok = false;
        result.error = std::move(text);
        return result;
    };

    const std::vector<option> table = optionTable();
    // getopt keeps its place in globals; 0 starts a fresh scan.
    optind = 0;
    opterr = 0;
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    int runOptions = 0;
    bool rootGiven = false;
    for (;;) {
        const int previous = optind == 0 ? 1 : optind;
        const int c = getopt_long_only(argc, args.data(), ":", table.data(), nullptr);
        if (c == -1)
            break;
        const char* word = previous < argc ? args[static_cast<std::size_t>(previous)] : "";
        switch (c) {
        case kOptHelp:
            opts.kind = RunKind::Help;
            result.ok = true;
            return result;
        case kOptVersion:
            opts.kind = RunKind::Version;
            result.ok = true;
            return result;
        case kOptRoot:
            ++runOptions;
            rootGiven = true;
            opts.kind = RunKind::IntoWindow;
            opts.intoRoot = true;
            break;
        case kOptWindowId:
            ++runOptions;
            opts.kind = RunKind::IntoWindow;
            opts.window = parseWindowId(optarg);
            if (opts.window == 0)
                return fail("-window-id needs a window number, not " + quoted(optarg));
            break;
        case kOptWindow:
            ++runOptions;
            opts.kind = RunKind::Windowed;
            break;
        case kOptFullScreen:
            ++runOptions;
            opts.kind = RunKind::FullScreen;
            break;
        case kOptWayland:
            ++runOptions;
            opts.kind = RunKind::Wayland;
            break;
        case kOptConfig:
            ++runOptions;
            opts.kind = RunKind::Configure;
            break;
        case kOptSettings:
            if (!*optarg)
                return fail("--settings needs a file name");
            opts.settingsFile = optarg;
            break;
        case kOptNoVsync:
            opts.run.control.waitForRetrace = false;
            break;
        case kOptMaxFps:
            if (!parseMaxFps(optarg, opts.run.control.maxFps))
                return fail("--max-fps needs a whole number of frames a second from 0 (no cap) to 1000, not " +
                            quoted(optarg));
            break;
        case kOptListModes:
            ++runOptions;
            opts.kind = RunKind::ListModes;
            break;
        case kOptFps:
            opts.run.showFrameRate = true;
            break;
        case kOptSeconds:
            if (!parseRunSeconds(optarg, opts.run.control.limits.seconds))
                return fail("--seconds needs a number of seconds above 0 and up to a day, not " + quoted(optarg));
            break;
        case kOptFrames:
            if (!parseFrameCount(optarg, opts.run.control.limits.frames))
                return fail("--frames needs a whole number of frames from 1, not " + quoted(optarg));
            break;
        case kOptStats:
            if (!*optarg)
                return fail("--stats needs a file name");
            opts.run.control.statsFile = optarg;
            break;
        case ':':
            return fail("option " + quoted(word) + " needs a value");
        case '?':
            return fail("unknown option " + quoted(word));
        default: {
            const std::size_t index = static_cast<std::size_t>(c - kSettingOptionBase);
            if (c < kSettingOptionBase || index >= kSettingFields.size())
                return fail("unknown option " + quoted(word));
            SettingOverride o;
            o.field = index;
            const SettingField& field = kSettingFields[index];
            if (!parseSetting(field, optarg, o))
                return fail(std::string("--") + field.name + " needs " +
                            (field.type == FieldType::Int ? "a whole number" : "a number") + ", not " + quoted(optarg));
            opts.run.overrides.push_back(o);
            break;
        }
        }
    }

    // The Windows switches, as the words that are left.
    if (optind < argc) {
        std::vector<const char*> rest(args.begin() + optind, args.begin() + argc);
        const std::string text = joinArguments(rest);
        // An empty word is not "no arguments", which would be the /c run.
        const bool emptyWord = std::any_of(rest.begin(), rest.end(), [](const char* w) { return *w == '\0'; });
        const SaverCommand command = emptyWord ? SaverCommand{} : parseSaverCommand(text);
        if (!command.recognised)
            return fail("unknown switch " + quoted(text.c_str()));
        ++runOptions;
        switch (command.mode) {
        case SaverMode::Saver:
            opts.kind = RunKind::FullScreen;
            break;
        case SaverMode::Preview:
            if (command.window == 0)
                return fail("/p needs the number of the window to draw into");
            opts.kind = RunKind::IntoWindow;
            opts.window = command.window;
            opts.preview = true;
            break;
        case SaverMode::Configure:
            opts.kind = RunKind::Configure;
            break;
        case SaverMode::ChangePassword:
            return fail("/a: this system keeps the screen saver's password itself");
        }
    }
    if (runOptions > 1)
        return fail("give only one of -root, -window-id, --window, --fullscreen, --wayland, --config, "
                    "--list-modes or a /switch");

    // XScreenSaver names its window in the environment and passes -root.
    const uint64_t envWindow = parseWindowId(screensaverWindow);
    if (envWindow != 0 && (rootGiven || runOptions == 0)) {
        opts.kind = RunKind::IntoWindow;
        opts.intoRoot = false;
        opts.window = envWindow;
        opts.screensaverWindow = true;
    }
    opts.kindByDefault = runOptions == 0 && !opts.screensaverWindow;
    result.ok = true;
    return result;
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
           "covers every output with an overlay of its own, each showing that output's desktop. It needs "
           "the layer-shell protocol: it works on wlroots compositors (sway, Hyprland, river, labwc, Wayfire) "
           "and on KDE, where the compositor lends no picture of the desktop and the logo is shown; not on "
           "GNOME. It holds no idle inhibitor: the user's idle daemon starts it.";
}

std::string waylandLockText() {
    return "The & matters: with -w swayidle waits for each command to end, so a saver run in the foreground "
           "would hold back the locker until the user is back. Kelvara does not lock the session: keys still "
           "reach the compositor's own bindings while it runs. The locker locks, at the later timeout, over "
           "the saver; after unlocking, a key or the mouse ends the saver.";
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
    text += "\n" + wrapText("Settings, for this run only (the stored values are kept). Each takes a number N; "
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
    text += "With swayidle:\n  " + std::string(kSwayidleRecipe) + "\n";
    text += wrapText("or, with hypridle, these listeners in ~/.config/hypr/hypridle.conf:", kHelpWidth, 0, 0);
    for (std::size_t at = 0, end; (end = std::string_view(kHypridleRecipe).find('\n', at)) != std::string::npos;
         at = end + 1)
        text += "  " + std::string(kHypridleRecipe + at, end - at) + "\n";
    text += wrapText(waylandLockText(), kHelpWidth, 0, 0) + "\n";
    text += wrapText("Exit status: 0 after a run, 1 when the run could not start or went wrong (no display, "
                     "no OpenGL, no such window, a display mode that cannot be set, statistics not written; "
                     "the reason is on stderr), 2 for a bad command line.",
                     kHelpWidth, 0, 0);
    return text;
}

} // namespace kelvara
