#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kelvara {

// The run a command line asks for.
enum class SaverMode { Configure, Saver, Preview, ChangePassword };

// The exit code of a run that the command line could not start: an unknown
// switch, a preview without a usable window, a password change where the
// platform keeps the password itself. The shell sees it as 255.
inline constexpr int kExitBadSwitch = -1;

// A window named on the command line: a window handle's bits as a number.
// 0 is no window.
using WindowNumber = uintptr_t;

// What the argument text asks for, read from the text alone.
struct SaverCommand {
    bool recognised = false; // false: no run; exit with kExitBadSwitch
    SaverMode mode = SaverMode::Configure;
    // The number given with the switch; 0 when none was read or it was too
    // long for a window handle.
    WindowNumber window = 0;
    // Configure and ChangePassword: when `window` names no window, the
    // foreground window owns the dialog. Off only for an empty argument text,
    // which shows the configuration dialog without an owner.
    bool foregroundFallback = false;
};

// The text after the program's name on a whole command line: the name is
// either quoted (up to the next double quote) or runs to the first space or
// control character; the separators after it (codes 1 to 32) are skipped too.
std::string_view argumentsOf(std::string_view commandLine);

// Decimal digits from `pos` on, as an unsigned number; `pos` ends on the first
// other character. No sign, no hexadecimal; no digit gives 0. A number too
// large for a window handle gives 0 (no window) rather than wrapping around.
WindowNumber parseWindowHandle(std::string_view text, std::size_t& pos);

// The run the argument text (the command line without the program's name)
// asks for. The first character that is not a space, '-' or '/' decides, in
// either case: S full screen, P or L preview in the window that follows, C
// configuration (":number" names the owner), A password change (the owner
// follows), nothing at all configuration without an owner. Whatever follows
// the switch and its number is ignored.
SaverCommand parseSaverCommand(std::string_view arguments);

// Separate arguments (argv past the program's name) as one argument text,
// joined by single spaces, for platforms that hand them over split.
std::string joinArguments(std::span<const char* const> arguments);

// What the host does once the window system has been asked about the numbers.
enum class HostAction { Exit, ShowConfigDialog, RunSaver, RunPreview, ChangePassword };

struct HostPlan {
    HostAction action = HostAction::Exit;
    // The dialog's owner, the preview's parent or the password dialog's
    // owner; 0 for none.
    WindowNumber window = 0;
    // The exit code when action is Exit or ChangePassword; otherwise the
    // dialog's or saver's own result becomes the exit code.
    int exitCode = 0;
};

// The window system's answers the host needs: whether a number names an
// existing window, and which window is in the foreground. Asked only when the
// command's decision depends on them.
struct WindowQueries {
    std::function<bool(WindowNumber)> isWindow;
    std::function<WindowNumber()> foregroundWindow;
};

// Turns a command into the host's next step. `win9xPlatform` is set where
// the saver itself keeps the password (only there is a password change run).
HostPlan planHostRun(const SaverCommand& command, bool win9xPlatform, const WindowQueries& windows);

} // namespace kelvara
