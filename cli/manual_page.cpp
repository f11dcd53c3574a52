#include "cli/manual_page.h"

#include <string_view>

#include "cli/saver_options.h"
#include "settings/setting_text.h"
#include "settings/settings.h"

namespace kelvara {

namespace {

// Text for a roff line: backslashes escaped, a dash that starts a word (an
// option, a minus sign) made a real minus so it copies as one, and a line
// that would read as a request guarded.
std::string roff(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '-' || text[i - 1] == '(')) {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

// An option's name: every dash a real minus, as typed.
std::string roffOption(std::string_view option) {
    std::string out;
    for (char c : option)
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

// A tagged paragraph: the tag on its own line, then the text.
std::string item(const std::string& tag, const std::string& text) {
    return ".TP\n" + tag + "\n" + text + "\n";
}

// "--window-id ID" in bold and italic, and after it, when given, the few words
// a dialog labels it with.
std::string optionTag(const std::string& option, const std::string& argument, const std::string& label = "") {
    std::string tag = "\\fB" + roffOption(option) + "\\fR";
    if (!argument.empty())
        tag += " \\fI" + argument + "\\fR";
    if (!label.empty())
        tag += " \\(em " + roff(label);
    return tag;
}

} // namespace

namespace {

// Name, synopsis and description.
std::string pageHead(const std::string& version) {
    std::string page;
    page += ".\\\" The build makes this page from kelvara's option and settings tables.\n";
    // No hyphenation (the man macros take it from HY at every paragraph):
    // setting names must stay whole to be typed as read.
    page += ".nr HY 0\n";
    page += ".TH KELVARA 6 \"\" \"Kelvara " + version + "\" \"Screen savers\"\n";
    page += ".ad l\n"; // ragged right, no stretched spaces
    page += ".SH NAME\nkelvara \\- a 3D screen saver that animates a picture of the desktop\n";
    page +=
        ".SH SYNOPSIS\n.B kelvara\n[\\fIOPTION\\fR]... [\\fB/s\\fR | \\fB/p\\fR \\fIID\\fR | \\fB/c\\fR]\n";

    page += ".SH DESCRIPTION\n";
    page +=
        roff(
            "Kelvara takes a picture of the desktop and animates it in 3D with OpenGL. The picture bursts "
            "into small tumbling boxes that split into smaller ones (Explode), or ripples as a lit, textured "
            "surface (Wave1 to Wave3), while the camera swings and zooms.") +
        "\n.PP\n";
    page += roff("With no option it covers the screen until a key, a mouse button or a movement of the mouse "
                 "ends the run. Under XScreenSaver it draws into "
                 "the window the daemon gives it. SIGTERM and SIGINT end a run as "
                 "input does. At the end of a run the settings are saved and the display is restored.") +
            "\n";
    return page;
}

// The run options and the settings, from their tables.
std::string optionSections() {
    std::string page;
    page += ".SH OPTIONS\n";
    page += roff("Options take one dash or two.") + "\n";
    for (const OptionHelp& o : runOptionHelp())
        page += item(optionTag(o.option, o.argument), roff(o.help));
    page += item(optionTag("/s", ""), roff("as --fullscreen"));
    page += item(optionTag("/p", "ID"), roff("a preview in window ID (a small capture, no input rules)"));
    page += item(optionTag("/c", ""), roff("as --config"));

    page += ".SH SETTINGS\n";
    page +=
        roff("The settings live in the settings file (see FILES) as NAME=NUMBER lines; a missing or "
             "unreadable value takes its default. Every setting is also an option, --NAME N, that sets it "
             "for one run and leaves the stored value as it was. The range given is what makes sense; "
             "other values are taken as they are.") +
        "\n";
    for (const SettingField& f : kSettingFields)
        page += item(optionTag(std::string("--") + f.name, "N", f.label),
                     roff(f.meaning) + "\n.br\n" +
                         roff("Values " + settingRangeText(f) + "; default " + settingDefaultText(f) + "."));
    return page;
}

// Files and environment.
std::string fileSections(const InstallPaths& paths) {
    std::string page;
    page += ".SH FILES\n";
    page +=
        item(".I $XDG_CONFIG_HOME/kelvara/settings",
             roff("The settings (~/.config/kelvara/settings when XDG_CONFIG_HOME is not set); --settings "
                  "names another file. It is replaced whole when the run saves, so a crash leaves the old "
                  "or the new settings."));
    page += item(".I $XDG_CONFIG_HOME/autostart/kelvara-idle.desktop",
                 roff("The session's autostart entry for the idle watch, written by --autostart SECONDS and "
                      "removed by --autostart off."));
    page += item(".I $XDG_RUNTIME_DIR/kelvara-idle-$WAYLAND_DISPLAY.lock",
                 roff("Held by the idle watch of that Wayland session, so that a second one ends at once."));
    page += item(".I " + roff(paths.program), roff("The program."));
    page +=
        item(".I " + roff(paths.hack), roff("The same program, where XScreenSaver runs its screen savers."));
    page += item(".I " + roff(paths.optionFile),
                 roff("The controls XScreenSaver's settings dialog shows for Kelvara."));
    page += item(".I " + roff(paths.desktopEntry),
                 roff("Lets KDE's KWin hand the program each output's picture (hidden from menus)."));
    page += item(".I ~/.local/share/applications/kelvara-capture-*.desktop",
                 roff("The same for a kelvara run from another path, written by --grant-capture."));

    page += ".SH ENVIRONMENT\n";
    page += item(".B DISPLAY", roff("The X display to draw on."));
    page +=
        item(".B XSCREENSAVER_WINDOW",
             roff("Set by XScreenSaver: with --root, or with no run option at all, kelvara draws into this "
                  "window."));
    page += item(".B WAYLAND_DISPLAY",
                 roff("The Wayland compositor to draw on; with no run option at all, kelvara covers its "
                      "outputs when it offers layer-shell (see WAYLAND), and the X display otherwise."));
    page += item(".B XDG_CONFIG_HOME", roff("Where the settings folder is."));
    return page;
}

// Exit status and how XScreenSaver runs it.
std::string exitAndXScreenSaver() {
    std::string page;
    page += ".SH EXIT STATUS\n";
    page +=
        item(".B 0", roff("A run ended (input, a signal, --seconds or --frames, its window or the Wayland "
                          "compositor went away; on Wayland resW, resH and resC are ignored with one "
                          "line); --help, --version, --config."));
    page += item(".B 1",
                 roff("No X display, no OpenGL (no GLX, no usable configuration or context; on Wayland no "
                      "compositor, neither layer-shell nor xdg-shell, or an EGL driver with OpenGL ES only), "
                      "no such --window-id window, or on X11 a display mode that cannot be set (the run ends "
                      "at once, the display restored, the settings not saved); a Wayland protocol error on "
                      "one of Kelvara's own objects (the line names the object and the error); --stats not "
                      "written; --list-modes found no modes; --wayland in a build without Wayland. The "
                      "reason is one line on standard error starting \"kelvara:\"."));
    page += item(".B 2", roff("A bad command line: \"kelvara: REASON (try --help)\"."));

    page += ".SH XSCREENSAVER\n";
    page += roff("XScreenSaver runs the screen savers named in the programs: list of ~/.xscreensaver. To add "
                 "Kelvara, put this line in that list (before the line that ends it):") +
            "\n.PP\n.RS\n.EX\n  GL: kelvara \\-\\-root \\en\\e\n.EE\n.RE\n.PP\n";
    page += roff("When the file has no programs: list yet, this line makes Kelvara the only screen saver:") +
            "\n.PP\n.RS\n.EX\nprograms: GL: kelvara \\-\\-root\n.EE\n.RE\n.PP\n";
    page += roff("The daemon covers the screen before it starts a screen saver, so Kelvara animates the "
                 "picture of the desktop the daemon took just before (on several monitors, each monitor's "
                 "own). It does so only when Grab Desktop Images is on in the settings dialog's Advanced tab "
                 "(grabDesktopImages: True in ~/.xscreensaver; Debian starts with it off); otherwise, and "
                 "when the daemon left no picture, Kelvara shows its logo and says why in one line on "
                 "standard error.") +
            "\n.PP\n";
    page += roff("XScreenSaver reads the file again when it changes. Its settings dialog then lists Kelvara "
                 "with the controls of the option file, and its Documentation button shows this page.") +
            "\n";
    return page;
}

// Wayland and the pages to see.
std::string waylandAndSeeAlso() {
    std::string page;
    page += ".SH WAYLAND\n";
    page += roff(waylandText()) + "\n.PP\n";
    page += roff(desktopCaptureText()) + "\n.PP\n";
    page += roff("With swayidle (in sway's configuration: exec swayidle ...):") + "\n.PP\n.EX\n" +
            roff(kSwayidleRecipe) + "\n.EE\n.PP\n";
    page += roff("With hypridle, in ~/.config/hypr/hypridle.conf:") + "\n.PP\n.EX\n" + roff(kHypridleRecipe) +
            ".EE\n.PP\n";
    page += roff(waylandLockText()) + "\n.PP\n";
    page += roff(idleWatchText()) + "\n";

    page += ".SH SEE ALSO\n.BR xscreensaver (1),\n.BR xscreensaver\\-settings (1),\n.BR swayidle (1)\n";
    return page;
}

} // namespace

std::string manualPage(const InstallPaths& paths, const std::string& version) {
    return pageHead(version) + optionSections() + fileSections(paths) + exitAndXScreenSaver() +
           waylandAndSeeAlso();
}

} // namespace kelvara
