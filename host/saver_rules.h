#pragma once

// The saver window's per-message rules as plain decisions on the message, its
// wParam and the host's flags, so they can be exercised without a window
// system. The Windows window procedures carry the decisions out.

#include <cstdint>
#include <functional>

namespace kelvara {

// Window messages and parameters the rules look at, with the platform's values
// (the Windows file checks them against its headers).
inline constexpr uint32_t kWmCreate = 0x0001;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmShowWindow = 0x0018;
inline constexpr uint32_t kWmSetText = 0x000C;
inline constexpr uint32_t kWmSettingChange = 0x001A;
inline constexpr uint32_t kWmActivateApp = 0x001C;
inline constexpr uint32_t kWmSetCursor = 0x0020;
inline constexpr uint32_t kWmPower = 0x0048;
inline constexpr uint32_t kWmHelp = 0x0053;
inline constexpr uint32_t kWmContextMenu = 0x007B;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmSysKeyDown = 0x0104;
inline constexpr uint32_t kWmSysCommand = 0x0112;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmMouseMove = 0x0200;
inline constexpr uint32_t kWmLButtonDown = 0x0201;
inline constexpr uint32_t kWmRButtonDown = 0x0204;
inline constexpr uint32_t kWmMButtonDown = 0x0207;
inline constexpr uint32_t kWmPowerBroadcast = 0x0218;
// Sent by the close check to the window itself: "run the password prompt".
inline constexpr uint32_t kWmApp = 0x8000;

inline constexpr uintptr_t kScNextWindow = 0xF040;
inline constexpr uintptr_t kScPrevWindow = 0xF050;
inline constexpr uintptr_t kScScreenSave = 0xF140;
inline constexpr uintptr_t kPwrSuspendRequest = 1;

// WM_POWERBROADCAST events (wParam). Only the first two end a saver: the
// machine is about to sleep. The others come with nobody at the machine (the
// charger plugged in, the battery running down, the display dimmed or off).
inline constexpr uintptr_t kPbtApmQuerySuspend = 0x0000;
inline constexpr uintptr_t kPbtApmSuspend = 0x0004;
inline constexpr uintptr_t kPbtApmResumeSuspend = 0x0007;
inline constexpr uintptr_t kPbtApmPowerStatusChange = 0x000A;
inline constexpr uintptr_t kPbtApmResumeAutomatic = 0x0012;
inline constexpr uintptr_t kPbtPowerSettingChange = 0x8013;

// Requests closer together than this after a refused password prompt get no
// new prompt (milliseconds of the system's tick count).
inline constexpr uint32_t kPromptQuietMs = 200;

// The host's state the rules depend on.
struct SaverFlags {
    bool preview = false;          // the window is a child of a preview window
    bool closeAllowed = false;     // closing was granted; never cleared
    bool verifyInProgress = false; // the password prompt is up
    bool win9xPlatform = false;    // the saver checks the password itself
    bool passwordHook = false;     // a password prompt is loaded
    uint32_t autoPlayMessage = 0;  // registered "QueryCancelAutoPlay" id, 0 for none
};

// ---- The class procedure (before the application sees a message) ----------

enum class HostStep {
    ToApplication,   // hand the message to the application's procedure
    DefaultHandling, // the system's default handling, the application never sees it
    ReturnZero,      // answer 0 and stop
    ForwardToParent, // post the message to the parent (wParam = parent), answer 1
};

struct HostDecision {
    HostStep step = HostStep::ToApplication;
    bool hideCursor = false;
    bool sleepFirst = false;         // yield the rest of the time slice first
    bool detachInputMethod = false;  // take the window's input context away
    bool restoreInputMethod = false; // give the earlier input context back
    bool postQuit = false;           // post the quit message (value 0)
};

HostDecision hostWindowRule(uint32_t message, uintptr_t wParam, const SaverFlags& flags);

// ---- The default procedure (what the application passes on) ---------------

enum class DefaultStep {
    DefaultHandling, // the system's default handling
    Return,          // answer `result` and stop
    VerifyClose,     // answer 0 when the close check refuses, else default handling
    RunPrompt,       // answer the password prompt's verdict (1 without a prompt)
};

struct DefaultDecision {
    DefaultStep step = DefaultStep::DefaultHandling;
    intptr_t result = 0;
    bool postClose = false; // post a close request to the window first
    bool hideCursor = false;
    // lParam carries a power setting the window registered for (the display's
    // state): the host notes it for the render thread, in every mode.
    bool notePowerSetting = false;
};

DefaultDecision defaultSaverRule(uint32_t message, uintptr_t wParam, const SaverFlags& flags);

// ---- The close check with its password prompt ------------------------------

struct CloseGate {
    bool closeAllowed = false;
    bool verifyInProgress = false;
    bool promptShown = false;    // false until the first prompt has ended
    uint32_t lastPromptTime = 0; // tick count (ms) when the last prompt ended
};

struct PasswordPrompt {
    std::function<uint32_t()> tickCount; // the system's millisecond tick count (wraps)
    std::function<bool()> ask;           // runs the prompt; true when the saver may close
    std::function<void()> hideCursor;
};

// Whether the window may close now. Refuses while a prompt is up and, without
// a new prompt, within kPromptQuietMs of the last one; grants at once when no
// prompt is loaded. Only meaningful on the platforms where the saver checks
// the password itself, for a full-screen window that is not yet allowed to close.
bool verifyBeforeClose(CloseGate& gate, bool passwordHook, const PasswordPrompt& prompt);

// ---- The application's procedure -------------------------------------------

enum class AppStep {
    StartUp,    // the start-up, then the default procedure
    ShutDown,   // the shutdown, then the default procedure
    MouseMove,  // the mouse rule (full screen); answer 0
    ReturnZero, // answer 0 and stop
    PassOn,     // the default procedure
};

AppStep appSaverRule(uint32_t message, bool preview);

} // namespace kelvara
