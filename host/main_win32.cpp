// Entry point of the Windows screen saver (kelvara.scr): reads the screen-saver
// command line, runs the mode it asks for under a fault guard, and ends the
// process with that mode's result.
#include <windows.h>

#include <string_view>

#include "cli/command_line.h"
#include "host/saver_window.h"
#include "ui/config_dialog.h"

namespace kelvara {
namespace {

// Exit code when a fault escaped a mode and the guard ended the run.
constexpr int kExitFault = 3;

bool detectWin9xPlatform() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) != 0 && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// Gives the system keys back: where the saver told the system that it runs,
// a saver that dies must take that back.
void leaveSaverRunningState() {
    if (win9xPlatform)
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, nullptr, 0);
}

LPTOP_LEVEL_EXCEPTION_FILTER platformFilter = nullptr;

LONG WINAPI faultGuard(EXCEPTION_POINTERS* fault) {
    // The platform's filter comes first: it may report the fault or let the
    // program go on.
    if (platformFilter != nullptr) {
        LONG verdict = platformFilter(fault);
        if (verdict == EXCEPTION_CONTINUE_EXECUTION)
            return verdict;
    }
    leaveSaverRunningState();
    // The faulting stack cannot be unwound safely from here: end the process.
    return EXCEPTION_EXECUTE_HANDLER;
}

void changePassword(HWND owner) {
    using ChangePasswordFn = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, LPVOID);
    HMODULE mpr = LoadLibraryA("MPR.DLL");
    if (mpr == nullptr)
        return;
    auto change = reinterpret_cast<ChangePasswordFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(mpr, "PwdChangePasswordA")));
    if (change != nullptr)
        change("SCRSAVE", owner, 0, nullptr);
    FreeLibrary(mpr);
}

int runMode(std::string_view arguments) {
    const SaverCommand command = parseSaverCommand(arguments);
    WindowQueries windows;
    windows.isWindow = [](WindowNumber n) { return IsWindow(reinterpret_cast<HWND>(n)) != 0; };
    windows.foregroundWindow = [] { return reinterpret_cast<WindowNumber>(GetForegroundWindow()); };
    const HostPlan plan = planHostRun(command, win9xPlatform, windows);
    switch (plan.action) {
    case HostAction::Exit:
        return plan.exitCode;
    case HostAction::ShowConfigDialog:
        return showConfigDialog(reinterpret_cast<HWND>(plan.window));
    case HostAction::RunSaver:
        return runSaverWindow(0);
    case HostAction::RunPreview:
        return runSaverWindow(plan.window);
    case HostAction::ChangePassword:
        changePassword(reinterpret_cast<HWND>(plan.window));
        return plan.exitCode;
    }
    return kExitBadSwitch;
}

} // namespace

int hostMain(std::string_view arguments) {
    win9xPlatform = detectWin9xPlatform();
    platformFilter = SetUnhandledExceptionFilter(faultGuard);
    try {
        return runMode(arguments);
    } catch (...) {
        // Out of memory and the like: nothing here can go on, but the system
        // keys must work again.
        leaveSaverRunningState();
        return kExitFault;
    }
}

} // namespace kelvara

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* commandLine = GetCommandLineA();
    ExitProcess(static_cast<UINT>(
        kelvara::hostMain(kelvara::argumentsOf(commandLine != nullptr ? commandLine : ""))));
}
