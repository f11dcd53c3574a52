// The saver window on Win32, the platform under a SaverSession: the class,
// the full-screen and preview windows, the message loop, the two host
// procedures (HostWindowProc, DefaultSaverProc) around the application's
// AppSaverProc, the password hook of the platforms where the saver checks the
// password itself, and the input-method detach. The session starts from
// WM_CREATE and ends from WM_DESTROY. The per-message rules live in
// saver_rules.cpp; this file carries them out.
// Limits: one saver window per process; the display switch and restore work on
// the primary display only.
#include <windows.h>
#include <windowsx.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture.h"
#include "cli/run_control.h"
#include "display/display_modes.h"
#include "display/display_state_win32.h"
#include "display/display_win32.h"
#include "display/monitors.h"
#include "host/saver_rules.h"
#include "host/saver_session.h"
#include "host/saver_window.h"
#include "host/session_rules.h"
#include "render/render_host.h"
#include "settings/failure_line.h"
#include "settings/settings_store.h"

namespace kelvara {

// The window-message rules spell the power-broadcast codes out (they are
// portable); they must be the system's.
static_assert(kPbtApmQuerySuspend == PBT_APMQUERYSUSPEND && kPbtApmSuspend == PBT_APMSUSPEND);
static_assert(kPbtApmResumeSuspend == PBT_APMRESUMESUSPEND &&
              kPbtApmPowerStatusChange == PBT_APMPOWERSTATUSCHANGE);
static_assert(kPbtApmResumeAutomatic == PBT_APMRESUMEAUTOMATIC &&
              kPbtPowerSettingChange == PBT_POWERSETTINGCHANGE);

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
// Exit code of a run that could not draw or did not say all it had to.
constexpr int kExitRunFailed = 1;

using VerifyPasswordFn = BOOL(WINAPI*)(HWND);
using AssociateContextFn = HANDLE(WINAPI*)(HWND, HANDLE);

// An entry of a loaded library as the function type it has. The detour
// through a plain function pointer keeps the cast's intent visible to the
// compiler's function-type check.
template <typename Fn> Fn procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void hideCursor() {
    SetCursor(nullptr);
}

// Tells the render thread when the display is off. Lives as long as the
// process: a render thread that does not stop in time still reads it.
DisplayStateWatch displayState;

// The password prompt of the platforms where the saver checks the password
// itself, and the system's "a saver runs" state that goes with it.
class PasswordHook {
  public:
    ~PasswordHook() { unload(); }
    void load();
    void unload();
    bool loaded() const { return verify_ != nullptr; }
    BOOL verify(HWND window) const { return verify_ != nullptr ? verify_(window) : TRUE; }

  private:
    HMODULE library_ = nullptr;
    VerifyPasswordFn verify_ = nullptr;
};

void PasswordHook::unload() {
    if (!win9xPlatform || library_ == nullptr)
        return;
    FreeLibrary(library_);
    library_ = nullptr;
    if (verify_ != nullptr) {
        verify_ = nullptr;
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, nullptr, 0);
    }
}

void PasswordHook::load() {
    if (!win9xPlatform)
        return;
    if (library_ != nullptr)
        unload();
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS)
        return;
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&usePassword), &size) == ERROR_SUCCESS &&
        usePassword != 0) {
        library_ = LoadLibraryA("PASSWORD.CPL");
        if (library_ != nullptr) {
            verify_ = procAddress<VerifyPasswordFn>(library_, "VerifyScreenSavePwd");
            if (verify_ != nullptr) {
                UINT wasRunning = 0;
                SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 1, &wasRunning, 0);
            } else {
                FreeLibrary(library_);
                library_ = nullptr;
            }
        }
    }
    RegCloseKey(key);
}

// The input context taken from the window while it runs, given back at its end.
class InputMethodDetach {
  public:
    void detach(HWND window);
    void restore(HWND window);

  private:
    AssociateContextFn associate_ = nullptr;
    HANDLE previous_ = nullptr;
};

void InputMethodDetach::detach(HWND window) {
    // Only when the process already uses input methods: loading the module
    // just to detach it would be wasted work.
    HMODULE imm = GetModuleHandleA("IMM32.DLL");
    if (imm == nullptr)
        return;
    associate_ = procAddress<AssociateContextFn>(imm, "ImmAssociateContext");
    if (associate_ != nullptr)
        previous_ = associate_(window, nullptr);
}

void InputMethodDetach::restore(HWND window) {
    if (associate_ != nullptr && previous_ != nullptr)
        associate_(window, previous_);
}

// The Win32 platform of one run: the window, its procedures and the render
// thread drawing into it. Written on the window's thread only, but for the
// window handle, which is set before any other thread starts.
class Win32Saver final : public SaverPlatform {
  public:
    explicit Win32Saver(HWND parent) : parent_(parent), store_(makePlatformStore()) {}

    // Makes the window and runs the message loop; the quit message's value.
    int run();

    std::vector<MonitorView> monitors() override;
    CaptureOutcome captureMonitors(const std::vector<MonitorView>& monitors, const Settings& settings,
                                   bool preview, std::vector<CaptureBuffer>& pictures) override {
        pictures = captureViews(nullptr, monitors, settings, preview);
        return pictures.empty() ? CaptureOutcome::Failed : CaptureOutcome::Taken;
    }
    DisplayBackend* displayModes() override { return &systemDisplay(); }
    void showWindow(bool switched) override;
    bool startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                      ThreadPriority threadPriority, const RenderThreadOptions& options) override;
    bool stopDrawing(unsigned timeoutMs) override;
    // A limit or a thread that cannot draw ends the run as a key would: through WM_CLOSE.
    void requestEnd() override { PostMessageA(window_, WM_CLOSE, 0, 0); }
    void report(const std::string& line) override;
    void showError(const std::string& text) override { MessageBoxA(window_, text.c_str(), "KVSS", MB_OK); }

    static LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    HWND createWindow();
    void startUp(HWND window);
    SaverFlags currentFlags() const;
    bool verifyBeforeClose(HWND window);
    LRESULT hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT appProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT defaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND parent_;
    HWND window_ = nullptr;
    std::unique_ptr<SettingsStore> store_;
    std::optional<SaverSession> session_;
    RenderThread* thread_ = nullptr;
    bool noThread_ = false; // the render thread could not start (it has said why)
    uint32_t autoPlayMessage_ = 0;
    CloseGate closeGate_;
    PasswordHook password_;
    InputMethodDetach inputMethod_;
    MouseMoveCounter mouseMoves_;
};

void Win32Saver::report(const std::string& line) {
    reportFailure("%s", line.c_str());
}

// Every monitor of the virtual screen; a preview is one viewport showing the
// primary monitor's desktop.
std::vector<MonitorView> Win32Saver::monitors() {
    std::vector<MonitorView> views = layoutMonitors(listMonitors(), virtualScreen());
    if (isPreview) {
        views.resize(1);
        views[0].viewport = ScreenRect{}; // the whole preview window
    }
    return views;
}

// The primary's new mode changes the virtual screen: cover it again.
void Win32Saver::showWindow(bool switched) {
    if (!switched)
        return;
    const ScreenRect screen = virtualScreen();
    SetWindowPos(window_, HWND_TOP, screen.x, screen.y, screen.width, screen.height, SWP_SHOWWINDOW);
}

bool Win32Saver::startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                              ThreadPriority threadPriority, const RenderThreadOptions& options) {
    RenderThreadOptions withDisplayState = options;
    displayState.start(window_);
    withDisplayState.displayPower = &displayState.notice();
    thread_ = startRenderThread(DrawTarget{reinterpret_cast<NativeWindow>(window_), nullptr}, settings,
                                std::move(monitors), threadPriority, withDisplayState);
    noThread_ = thread_ == nullptr;
    if (noThread_)
        displayState.stop();
    return !noThread_;
}

bool Win32Saver::stopDrawing(unsigned timeoutMs) {
    const bool stopped = joinRenderThread(thread_, timeoutMs);
    thread_ = nullptr;
    displayState.stop();
    return stopped;
}

SaverFlags Win32Saver::currentFlags() const {
    SaverFlags f;
    f.preview = isPreview;
    f.closeAllowed = closeGate_.closeAllowed;
    f.verifyInProgress = closeGate_.verifyInProgress;
    f.win9xPlatform = win9xPlatform;
    f.passwordHook = password_.loaded();
    f.autoPlayMessage = autoPlayMessage_;
    return f;
}

bool Win32Saver::verifyBeforeClose(HWND window) {
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
    return kelvara::verifyBeforeClose(closeGate_, password_.loaded(), prompt);
}

// ---- Application procedure -------------------------------------------------

void Win32Saver::startUp(HWND window) {
    window_ = window;
    SessionConfig config;
    config.maySwitchModes = !isPreview;
    config.preview = isPreview;
    std::vector<std::string> complaints;
    config.run.control =
        runControlFromEnvironment([](const char* name) { return std::getenv(name); }, complaints);
    for (const std::string& line : complaints)
        report(line);
    config.statsName = "KELVARA_STATS";
    config.joinTimeoutMs = kRenderJoinMs;
    session_.emplace(*this, *store_, std::move(config));
    // A mode that cannot be set has shown its box and ends the run with 0; a
    // run with no thread to draw with is a failure.
    if (!session_->start())
        PostQuitMessage(noThread_ ? kExitRunFailed : 0);
}

LRESULT Win32Saver::appProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (appSaverRule(message, isPreview)) {
    case AppStep::StartUp:
        startUp(window);
        break;
    case AppStep::ShutDown:
        if (session_)
            session_->end();
        break;
    case AppStep::MouseMove:
        if (countMouseMove(mouseMoves_, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))) {
            if (session_)
                session_->end();
            PostQuitMessage(0);
        }
        return 0;
    case AppStep::ReturnZero:
        return 0;
    case AppStep::PassOn:
        break;
    }
    return defaultProc(window, message, wParam, lParam);
}

// ---- Host procedures -------------------------------------------------------

LRESULT Win32Saver::defaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
        return password_.verify(window);
    case DefaultStep::DefaultHandling:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Win32Saver::hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HostDecision d = hostWindowRule(message, wParam, currentFlags());
    if (d.detachInputMethod)
        inputMethod_.detach(window);
    if (d.restoreInputMethod)
        inputMethod_.restore(window);
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
    return appProc(window, message, wParam, lParam);
}

// The window carries its saver from WM_NCCREATE on; the few messages before
// it (the size query) get the system's default handling, as the rules would.
LRESULT CALLBACK Win32Saver::hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* saver = reinterpret_cast<Win32Saver*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (saver == nullptr && message == WM_NCCREATE) {
        saver = static_cast<Win32Saver*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(saver));
    }
    if (saver == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return saver->hostProc(window, message, wParam, lParam);
}

HWND Win32Saver::createWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = hostWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
    wc.hCursor = nullptr;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    if (RegisterClassA(&wc) == 0)
        return nullptr;

    DWORD exStyle = 0;
    DWORD style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    const char* title = kFullScreenTitle;
    // Every monitor, or the preview's whole parent.
    ScreenRect area = virtualScreen();
    if (isPreview) {
        RECT client{};
        GetClientRect(parent_, &client);
        area = ScreenRect{client.left, client.top, client.right - client.left, client.bottom - client.top};
        style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        title = kPreviewTitle;
    } else {
        exStyle = WS_EX_TOPMOST;
    }
    return CreateWindowExA(exStyle, kClassName, title, style, area.x, area.y, area.width, area.height,
                           parent_, nullptr, instance, this);
}

int Win32Saver::run() {
    if (parent_ != nullptr) {
        isPreview = true;
    } else {
        HWND running = FindWindowA(kClassName, kFullScreenTitle);
        if (running != nullptr && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        password_.load();
    }
    autoPlayMessage_ = win9xPlatform ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;

    HWND window = createWindow();
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
    // A run that ended without drawing (no OpenGL) or without the statistics
    // asked for is not a success, whatever the window's end posted.
    if (result == 0 && session_ && session_->ended())
        result = session_->exitCode();
    // Every way out of the loop ends the drawing, also one that never reached
    // WM_DESTROY: without the run's end nothing is saved.
    session_.reset();
    password_.unload();
    // The window may outlive this object until the process ends.
    if (window != nullptr && IsWindow(window))
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    return result;
}

} // namespace

int runSaverWindow(NativeWindow parent) {
    Win32Saver saver(reinterpret_cast<HWND>(parent));
    return saver.run();
}

} // namespace kelvara
