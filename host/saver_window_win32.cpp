// The saver window on Win32: the class, the full-screen and preview windows,
// the message loop, the two host procedures (HostWindowProc, DefaultSaverProc)
// around the application's AppSaverProc, the password hook of the platforms
// where the saver checks the password itself, and the input-method detach.
// The per-message rules live in saver_rules.cpp; this file carries them out.
// Limits: one saver window per process; the display switch and restore work on
// the primary display only.
#include <windows.h>
#include <windowsx.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "display/display_modes.h"
#include "gfx/capture.h"
#include "gfx/frame_stats.h"
#include "gfx/render_host.h"
#include "host/display_state_win32.h"
#include "host/run_control.h"
#include "host/saver_rules.h"
#include "host/saver_window.h"
#include "settings/settings_store.h"

namespace kelvara {

static_assert(kWmCreate == WM_CREATE && kWmDestroy == WM_DESTROY && kWmPaint == WM_PAINT &&
              kWmClose == WM_CLOSE);
static_assert(kWmShowWindow == WM_SHOWWINDOW && kWmSetText == WM_SETTEXT &&
              kWmSettingChange == WM_SETTINGCHANGE);
static_assert(kWmActivateApp == WM_ACTIVATEAPP && kWmSetCursor == WM_SETCURSOR && kWmPower == WM_POWER);
static_assert(kWmHelp == WM_HELP && kWmContextMenu == WM_CONTEXTMENU && kWmKeyDown == WM_KEYDOWN);
static_assert(kWmSysKeyDown == WM_SYSKEYDOWN && kWmSysCommand == WM_SYSCOMMAND && kWmTimer == WM_TIMER);
static_assert(kWmMouseMove == WM_MOUSEMOVE && kWmLButtonDown == WM_LBUTTONDOWN &&
              kWmRButtonDown == WM_RBUTTONDOWN);
static_assert(kWmMButtonDown == WM_MBUTTONDOWN && kWmPowerBroadcast == WM_POWERBROADCAST && kWmApp == WM_APP);
static_assert(kScNextWindow == SC_NEXTWINDOW && kScPrevWindow == SC_PREVWINDOW &&
              kScScreenSave == SC_SCREENSAVE);
static_assert(kPwrSuspendRequest == PWR_SUSPENDREQUEST);

bool win9xPlatform = false;
bool isPreview = false;

namespace {

constexpr const char* kClassName = "WindowsScreenSaverClass";
constexpr const char* kFullScreenTitle = "Screen Saver";
constexpr const char* kPreviewTitle = "Preview";
constexpr int kIconId = 100;
// How long the end of a run waits for the render thread to finish its frame
// and release its context before the process exits anyway.
constexpr unsigned kRenderJoinMs = 2000;

using VerifyPasswordFn = BOOL(WINAPI*)(HWND);
using AssociateContextFn = HANDLE(WINAPI*)(HWND, HANDLE);

// Host state: written on the main thread only.
uint32_t autoPlayMessage = 0;
CloseGate closeGate;
HMODULE passwordLibrary = nullptr;
VerifyPasswordFn verifyScreenSavePwd = nullptr;
AssociateContextFn immAssociateContext = nullptr;
HANDLE previousInputContext = nullptr;

// Application state. The settings and the capture are handed to the render
// thread at start-up and only read here afterwards.
Settings settings;
CaptureBuffer capture;
RenderThread* renderThread = nullptr;
MouseMoveCounter mouseMoves;
// Outlives the render thread, which reads its notice.
DisplayStateWatch displayState;

// Measuring runs (KELVARA_* variables): the limits, and the statistics the
// render thread fills. The limiter outlives the render thread, whose observer
// calls it.
RunControl runControl;
std::unique_ptr<FrameStats> frameStats;
std::unique_ptr<RunLimiter> runLimiter;

// A GUI program has no console of its own, but one started from a terminal
// (or under Wine) still has the standard error it inherited; a debugger sees
// the debug string.
void report(const std::string& line) {
    std::fprintf(stderr, "kelvara: %s\n", line.c_str());
    std::fflush(stderr);
    OutputDebugStringA(("kelvara: " + line + "\n").c_str());
}

void readRunControl() {
    std::vector<std::string> complaints;
    runControl = runControlFromEnvironment([](const char* name) { return std::getenv(name); }, complaints);
    for (const std::string& line : complaints)
        report(line);
    if (!runControl.statsFile.empty())
        frameStats = std::make_unique<FrameStats>();
}

// After the render thread has ended: the statistics are this thread's again.
void writeStatistics() {
    if (!frameStats)
        return;
    std::string error;
    if (!writeFrameSummary(runControl.statsFile, frameStats->summary(), error))
        report("KELVARA_STATS: " + error);
    frameStats.reset();
}

// An entry of a loaded library as the function type it has. The detour
// through a plain function pointer keeps the cast's intent visible to the
// compiler's function-type check.
template <typename Fn> Fn procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

SaverFlags currentFlags() {
    SaverFlags f;
    f.preview = isPreview;
    f.closeAllowed = closeGate.closeAllowed;
    f.verifyInProgress = closeGate.verifyInProgress;
    f.win9xPlatform = win9xPlatform;
    f.passwordHook = verifyScreenSavePwd != nullptr;
    f.autoPlayMessage = autoPlayMessage;
    return f;
}

void hideCursor() {
    SetCursor(nullptr);
}

// ---- Password hook ---------------------------------------------------------

void unloadPasswordHook() {
    if (!win9xPlatform || passwordLibrary == nullptr)
        return;
    FreeLibrary(passwordLibrary);
    passwordLibrary = nullptr;
    if (verifyScreenSavePwd != nullptr) {
        verifyScreenSavePwd = nullptr;
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, nullptr, 0);
    }
}

void loadPasswordHook() {
    if (!win9xPlatform)
        return;
    if (passwordLibrary != nullptr)
        unloadPasswordHook();
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS)
        return;
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&usePassword), &size) == ERROR_SUCCESS &&
        usePassword != 0) {
        passwordLibrary = LoadLibraryA("PASSWORD.CPL");
        if (passwordLibrary != nullptr) {
            verifyScreenSavePwd = procAddress<VerifyPasswordFn>(passwordLibrary, "VerifyScreenSavePwd");
            if (verifyScreenSavePwd != nullptr) {
                UINT wasRunning = 0;
                SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 1, &wasRunning, 0);
            } else {
                FreeLibrary(passwordLibrary);
                passwordLibrary = nullptr;
            }
        }
    }
    RegCloseKey(key);
}

bool verifyBeforeClose(HWND window) {
    PasswordPrompt prompt;
    prompt.tickCount = [] { return static_cast<uint32_t>(GetTickCount()); };
    prompt.ask = [window] {
        // Timers queued while the saver ran would otherwise fire into the prompt.
        MSG msg;
        PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
        PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
        return SendMessageA(window, WM_APP, 0, 0) != 0;
    };
    prompt.hideCursor = hideCursor;
    return kelvara::verifyBeforeClose(closeGate, verifyScreenSavePwd != nullptr, prompt);
}

// ---- Application procedure -------------------------------------------------

LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void startUp(HWND window) {
    loadSettings(settings, *makePlatformStore());
    readRunControl();
    const StartUpPlan plan = planStartUp(settings, isPreview);
    if (plan.capture) {
        const auto captureStart = FrameStats::Clock::now();
        captureDesktop(capture, settings, isPreview);
        if (frameStats)
            frameStats->noteCapture(millisecondsBetween(captureStart, FrameStats::Clock::now()));
    }
    if (plan.switchDisplay) {
        if (switchDisplayMode(systemDisplay(), settings.resW, settings.resH, settings.resC)) {
            SetWindowPos(window, HWND_TOP, 0, 0, settings.resW, settings.resH, SWP_SHOWWINDOW);
        } else {
            MessageBoxA(window, "Error setting resolution", "KVSS", MB_OK);
            PostQuitMessage(0);
        }
    }
    // A limit ends the run as a key would: through WM_CLOSE.
    runLimiter = std::make_unique<RunLimiter>(runControl.limits,
                                              [window] { PostMessageA(window, WM_CLOSE, 0, 0); });
    RenderThreadOptions threadOptions;
    threadOptions.waitForRetrace = runControl.waitForRetrace;
    threadOptions.maxFps = runControl.maxFps;
    displayState.start(window);
    threadOptions.displayPower = &displayState.notice();
    threadOptions.stats = frameStats.get();
    if (runControl.limits.frames > 0)
        threadOptions.observer = [limiter = runLimiter.get()](uint64_t frame) { limiter->framePresented(frame); };
    renderRunning = 1;
    renderThread = startRenderThread(reinterpret_cast<NativeWindow>(window), settings, capture,
                                     threadPriorityFor(settings.Priority), threadOptions);
}

// Saves, gives the display its mode back and stops the drawing: the end of
// every run that got going.
void endRun() {
    saveSettings(settings, *makePlatformStore());
    if (restoresDisplay(settings, isPreview))
        restoreDisplayMode(systemDisplay());
    renderRunning = 0;
}

LRESULT AppSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (appSaverRule(message, isPreview)) {
    case AppStep::StartUp:
        startUp(window);
        break;
    case AppStep::ShutDown:
        endRun();
        break;
    case AppStep::MouseMove:
        if (countMouseMove(mouseMoves, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))) {
            endRun();
            PostQuitMessage(0);
        }
        return 0;
    case AppStep::ReturnZero:
        return 0;
    case AppStep::PassOn:
        break;
    }
    return DefaultSaverProc(window, message, wParam, lParam);
}

// ---- Host procedures -------------------------------------------------------

LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const DefaultDecision d = defaultSaverRule(message, wParam, currentFlags());
    if (d.hideCursor)
        hideCursor();
    if (d.postClose)
        PostMessageA(window, WM_CLOSE, 0, 0);
    if (d.notePowerSetting)
        displayState.noteSetting(lParam);
    switch (d.step) {
    case DefaultStep::Return:
        return d.result;
    case DefaultStep::VerifyClose:
        if (!verifyBeforeClose(window))
            return 0;
        break;
    case DefaultStep::RunPrompt:
        return verifyScreenSavePwd != nullptr ? verifyScreenSavePwd(window) : 1;
    case DefaultStep::DefaultHandling:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void detachInputMethod(HWND window) {
    // Only when the process already uses input methods: loading the module
    // just to detach it would be wasted work.
    HMODULE imm = GetModuleHandleA("IMM32.DLL");
    if (imm == nullptr)
        return;
    immAssociateContext = procAddress<AssociateContextFn>(imm, "ImmAssociateContext");
    if (immAssociateContext != nullptr)
        previousInputContext = immAssociateContext(window, nullptr);
}

void restoreInputMethod(HWND window) {
    if (immAssociateContext != nullptr && previousInputContext != nullptr)
        immAssociateContext(window, previousInputContext);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HostDecision d = hostWindowRule(message, wParam, currentFlags());
    if (d.detachInputMethod)
        detachInputMethod(window);
    if (d.restoreInputMethod)
        restoreInputMethod(window);
    if (d.hideCursor)
        hideCursor();
    if (d.postQuit)
        PostQuitMessage(0);
    if (d.sleepFirst)
        Sleep(0);
    switch (d.step) {
    case HostStep::ReturnZero:
        return 0;
    case HostStep::DefaultHandling:
        return DefWindowProcA(window, message, wParam, lParam);
    case HostStep::ForwardToParent: {
        HWND parent = GetParent(window);
        if (IsWindow(parent))
            PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
        return 1;
    }
    case HostStep::ToApplication:
        break;
    }
    return AppSaverProc(window, message, wParam, lParam);
}

} // namespace

int runSaverWindow(NativeWindow parentNumber) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND parent = reinterpret_cast<HWND>(parentNumber);

    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
    wc.hCursor = nullptr;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;

    DWORD exStyle = 0;
    DWORD style = 0;
    const char* title = nullptr;
    RECT area{};
    if (parent != nullptr) {
        GetClientRect(parent, &area);
        isPreview = true;
        style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        title = kPreviewTitle;
    } else {
        HDC screen = GetDC(nullptr);
        GetClipBox(screen, &area);
        ReleaseDC(nullptr, screen);
        exStyle = WS_EX_TOPMOST;
        style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        title = kFullScreenTitle;
        HWND running = FindWindowA(kClassName, kFullScreenTitle);
        if (running != nullptr && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        loadPasswordHook();
    }
    autoPlayMessage = win9xPlatform ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;

    HWND window = nullptr;
    if (RegisterClassA(&wc) != 0)
        window =
            CreateWindowExA(exStyle, kClassName, title, style, area.left, area.top, area.right - area.left,
                            area.bottom - area.top, parent, nullptr, instance, nullptr);
    int result = kExitNoWindow;
    if (window != nullptr) {
        if (!isPreview)
            SetForegroundWindow(window);
        MSG msg{};
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        result = static_cast<int>(msg.wParam);
    }
    // Every way out of the loop ends the drawing, also a start-up that could
    // not set the display mode and quit without a shutdown.
    renderRunning = 0;
    if (renderThread != nullptr) {
        if (joinRenderThread(renderThread, kRenderJoinMs)) {
            writeStatistics();
        } else {
            // The thread may still call both: let them live on with the process.
            if (frameStats)
                report("the render thread did not stop in time; no statistics written");
            [[maybe_unused]] FrameStats* keptStats = frameStats.release();
            [[maybe_unused]] RunLimiter* keptLimiter = runLimiter.release();
        }
        renderThread = nullptr;
    }
    runLimiter.reset();
    displayState.stop();
    unloadPasswordHook();
    return result;
}

} // namespace kelvara
