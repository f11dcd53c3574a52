// Windows side of the end-to-end runs, started under Wine by run_saver_e2e.sh.
//
//   e2e_helper pattern SECONDS
//       Covers the screen with four coloured quarters (red, green, blue,
//       yellow: top left, top right, bottom left, bottom right) for SECONDS,
//       a known desktop for the saver to capture: Wine's desktop does not show
//       the X root window.
//   e2e_helper preview SAVER SECONDS [X Y]
//       Makes a 320 x 240 parent window (at X, Y on the virtual screen, else
//       at 40, 40), starts "SAVER /p <parent>", prints the preview's place
//       ("child rect LEFT TOP RIGHT BOTTOM") and checks
//       that a preview child fills the parent, that keys, clicks and power
//       events sent to it do not end it, and that it ends with 0 once the
//       parent is destroyed. Prints one line per finding; exit code 0 when all
//       hold.
//   e2e_helper modes
//       Prints the display's modes, one "WxHxD" per line, and the current one
//       after "current ".
//   e2e_helper monitors
//       Prints the virtual screen ("virtual X Y W H") and each monitor
//       ("monitor NAME LEFT TOP RIGHT BOTTOM", "primary" after the primary's).
//   e2e_helper desktop SECONDS RRGGBB,RRGGBB,RRGGBB,RRGGBB...
//       Covers the whole virtual screen for SECONDS, each monitor with four
//       quarters of its own (top left, top right, bottom left, bottom right):
//       the n-th list of colours goes to the n-th monitor counted from the
//       left, then from the top.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void pumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
}

struct MonitorQuarters {
    RECT area;
    COLORREF colours[4];
};

std::vector<MonitorQuarters> desktopMonitors;
POINT desktopCorner{0, 0};

void fillQuarters(HDC dc, const RECT& r, const COLORREF colours[4]) {
    const int midX = (r.left + r.right) / 2;
    const int midY = (r.top + r.bottom) / 2;
    const RECT quarters[] = {{r.left, r.top, midX, midY},
                             {midX, r.top, r.right, midY},
                             {r.left, midY, midX, r.bottom},
                             {midX, midY, r.right, r.bottom}};
    for (int i = 0; i < 4; ++i) {
        HBRUSH brush = CreateSolidBrush(colours[i]);
        FillRect(dc, &quarters[i], brush);
        DeleteObject(brush);
    }
}

// Paints each monitor's quarters. Monitor areas are in screen coordinates;
// the window's corner, client (0, 0), may be left of or above the primary's.
LRESULT CALLBACK desktopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        for (const auto& m : desktopMonitors) {
            RECT r = m.area;
            OffsetRect(&r, -desktopCorner.x, -desktopCorner.y);
            fillQuarters(dc, r, m.colours);
        }
        EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Shows desktopMonitors in a window titled "Kelvara test NAME" over `area`
// for `seconds`, once up saying "NAME up".
int showDesktop(const char* name, RECT area, int seconds) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = desktopProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KelvaraE2EDesktop";
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&wc);
    desktopCorner = {area.left, area.top};
    const std::string title = std::string("Kelvara test ") + name;
    HWND window = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_POPUP | WS_VISIBLE, area.left, area.top,
                                  area.right - area.left, area.bottom - area.top, nullptr, nullptr, wc.hInstance,
                                  nullptr);
    if (window == nullptr)
        return 2;
    UpdateWindow(window);
    std::printf("%s up\n", name);
    std::fflush(stdout);
    pumpFor(static_cast<DWORD>(seconds) * 1000);
    return 0;
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info))
        reinterpret_cast<std::vector<MONITORINFOEXA>*>(list)->push_back(info);
    return TRUE;
}

std::vector<MONITORINFOEXA> monitorsLeftToRight() {
    std::vector<MONITORINFOEXA> list;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&list));
    std::sort(list.begin(), list.end(), [](const MONITORINFOEXA& a, const MONITORINFOEXA& b) {
        return a.rcMonitor.left != b.rcMonitor.left ? a.rcMonitor.left < b.rcMonitor.left
                                                    : a.rcMonitor.top < b.rcMonitor.top;
    });
    return list;
}

int listMonitors() {
    std::printf("virtual %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    for (const auto& m : monitorsLeftToRight())
        std::printf("monitor %s %ld %ld %ld %ld%s\n", m.szDevice, m.rcMonitor.left, m.rcMonitor.top,
                    m.rcMonitor.right, m.rcMonitor.bottom, (m.dwFlags & MONITORINFOF_PRIMARY) ? " primary" : "");
    return 0;
}

bool parseColours(const char* text, COLORREF colours[4]) {
    unsigned rgb[4];
    if (std::sscanf(text, "%6x,%6x,%6x,%6x", &rgb[0], &rgb[1], &rgb[2], &rgb[3]) != 4)
        return false;
    for (int i = 0; i < 4; ++i)
        colours[i] = RGB((rgb[i] >> 16) & 0xff, (rgb[i] >> 8) & 0xff, rgb[i] & 0xff);
    return true;
}

int runDesktop(int seconds, int count, char** colourLists) {
    const auto monitors = monitorsLeftToRight();
    if (static_cast<int>(monitors.size()) != count) {
        std::fprintf(stderr, "desktop: %d colour lists for %d monitors\n", count,
                     static_cast<int>(monitors.size()));
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        MonitorQuarters m{monitors[i].rcMonitor, {}};
        if (!parseColours(colourLists[i], m.colours)) {
            std::fprintf(stderr, "desktop: '%s' is not four RRGGBB colours\n", colourLists[i]);
            return 2;
        }
        desktopMonitors.push_back(m);
    }
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return showDesktop("desktop",
                       {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                        top + GetSystemMetrics(SM_CYVIRTUALSCREEN)},
                       seconds);
}

int runPattern(int seconds) {
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    desktopMonitors = {{screen, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0)}}};
    return showDesktop("pattern", screen, seconds);
}

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

int runPreview(const char* saver, int seconds, int x, int y) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KelvaraE2EPreviewParent";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassA(&wc);
    // The client area is what the saver fills: make it 320 x 240 exactly.
    RECT frame{0, 0, 320, 240};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "Kelvara preview parent",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (parent == nullptr)
        return 2;
    pumpFor(300);

    std::string commandLine =
        std::string("\"") + saver + "\" /p " + std::to_string(reinterpret_cast<uintptr_t>(parent));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        check(false, "saver started");
        return 1;
    }

    HWND child = nullptr;
    for (int i = 0; i < 100 && child == nullptr; ++i) {
        pumpFor(50);
        child = FindWindowExA(parent, nullptr, "WindowsScreenSaverClass", "Preview");
    }
    check(child != nullptr, "preview child of class WindowsScreenSaverClass titled Preview");
    if (child != nullptr) {
        RECT r;
        GetClientRect(child, &r);
        check(r.right == 320 && r.bottom == 240, "preview fills the parent's 320 x 240 client area");
        std::printf("child %lu\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(child)));
        RECT place;
        GetWindowRect(child, &place);
        std::printf("child rect %ld %ld %ld %ld\n", place.left, place.top, place.right, place.bottom);
        std::fflush(stdout);
        PostMessageA(child, WM_KEYDOWN, VK_SPACE, 0);
        PostMessageA(child, WM_LBUTTONDOWN, 0, 0);
        PostMessageA(child, WM_POWERBROADCAST, 0, 0);
        for (int i = 0; i < 10; ++i)
            PostMessageA(child, WM_MOUSEMOVE, 0, MAKELPARAM(i, i));
    }
    // The script types and clicks over the preview meanwhile.
    std::printf("preview ready\n");
    std::fflush(stdout);
    pumpFor(static_cast<DWORD>(seconds) * 1000);
    check(WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT, "preview still running after input");
    check(child != nullptr && IsWindow(child), "preview window still there after input");

    DestroyWindow(parent);
    DWORD waited = WAIT_TIMEOUT;
    for (int i = 0; i < 100 && waited == WAIT_TIMEOUT; ++i) {
        pumpFor(50);
        waited = WaitForSingleObject(pi.hProcess, 0);
    }
    DWORD code = 12345;
    GetExitCodeProcess(pi.hProcess, &code);
    check(waited == WAIT_OBJECT_0, "preview ends with its parent");
    check(waited == WAIT_OBJECT_0 && code == 0, "preview's exit code is 0");
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return failures == 0 ? 0 : 1;
}

int listModes() {
    DEVMODEA dm{};
    dm.dmSize = sizeof dm;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &dm); ++i)
        std::printf("%lux%lux%lu@%lu\n", dm.dmPelsWidth, dm.dmPelsHeight, dm.dmBitsPerPel,
                    dm.dmDisplayFrequency);
    if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &dm))
        std::printf("current %lux%lux%lu\n", dm.dmPelsWidth, dm.dmPelsHeight, dm.dmBitsPerPel);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "pattern" && argc > 2)
        return runPattern(std::atoi(argv[2]));
    if (mode == "preview" && argc > 3)
        return runPreview(argv[2], std::atoi(argv[3]), argc > 5 ? std::atoi(argv[4]) : 40,
                          argc > 5 ? std::atoi(argv[5]) : 40);
    if (mode == "modes")
        return listModes();
    if (mode == "monitors")
        return listMonitors();
    if (mode == "desktop" && argc > 3)
        return runDesktop(std::atoi(argv[2]), argc - 3, argv + 3);
    std::fprintf(stderr, "usage: e2e_helper pattern SECONDS | preview SAVER SECONDS [X Y] | modes | "
                         "monitors | desktop SECONDS RRGGBB,RRGGBB,RRGGBB,RRGGBB...\n");
    return 2;
}
