#pragma once

// A known desktop for the Windows tests and benchmarks: a top-most window over
// the whole screen, painted in a grid of distinct colours. Wine's desktop
// device context does not show what lies under its own windows, so a capture
// test paints what it expects to find.

#include <windows.h>

#include <cstdint>

namespace kelvara::testing {

struct Rgb {
    uint8_t r, g, b;
};

inline constexpr int kPatternColumns = 4;
inline constexpr int kPatternRows = 2;

// No two cells alike, and none the same with red and blue exchanged: a picture
// read in RGB order, mirrored or upside down fails the comparison.
inline constexpr Rgb kPatternColours[kPatternRows][kPatternColumns] = {
    {{220, 40, 40}, {40, 200, 60}, {30, 60, 230}, {230, 220, 40}},
    {{40, 210, 220}, {200, 50, 180}, {250, 250, 250}, {120, 70, 20}},
};

// The cell's left (top) edge of a picture `extent` pixels wide (high) split
// into `cells`; the same rounding for the painted window and any check.
inline int patternEdge(int index, int cells, int extent) {
    return index * extent / cells;
}

inline LRESULT CALLBACK patternWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        for (int row = 0; row < kPatternRows; ++row) {
            for (int column = 0; column < kPatternColumns; ++column) {
                const Rgb c = kPatternColours[row][column];
                const RECT cell{patternEdge(column, kPatternColumns, client.right),
                                patternEdge(row, kPatternRows, client.bottom),
                                patternEdge(column + 1, kPatternColumns, client.right),
                                patternEdge(row + 1, kPatternRows, client.bottom)};
                HBRUSH brush = CreateSolidBrush(RGB(c.r, c.g, c.b));
                FillRect(dc, &cell, brush);
                DeleteObject(brush);
            }
        }
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_ERASEBKGND)
        return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Handles every waiting message of this thread, for about `ms` milliseconds:
// Wine maps and paints its windows only while the owner pumps.
inline void pumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

// The pattern over the whole primary screen, top-most, painted, for the life
// of the value.
class PatternWindow {
  public:
    PatternWindow() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = patternWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KelvaraTestPattern";
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        RegisterClassA(&wc); // fails harmlessly when a former test registered it
        window_ = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Pattern", WS_POPUP | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                                  nullptr, wc.hInstance, nullptr);
        if (window_ != nullptr) {
            UpdateWindow(window_);
            pumpMessages(300);
        }
    }
    ~PatternWindow() {
        if (window_ != nullptr)
            DestroyWindow(window_);
        pumpMessages(50);
    }
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

    HWND handle() const { return window_; }

  private:
    HWND window_ = nullptr;
};

} // namespace kelvara::testing
