#pragma once

// A plain window for the render thread to draw into, the way the saver's own
// window is made for it: a class that owns its device context, and no
// background erase that would paint over the GL picture.

#include <windows.h>

namespace kelvara::testing {

inline LRESULT CALLBACK renderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND)
        return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

class RenderWindow {
  public:
    RenderWindow(int x, int y, int width, int height) {
        WNDCLASSA wc{};
        wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = renderWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KelvaraTestRender";
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        RegisterClassA(&wc); // fails harmlessly when registered before
        window_ = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Render", WS_POPUP | WS_VISIBLE, x, y,
                                  width, height, nullptr, nullptr, wc.hInstance, nullptr);
        if (window_ != nullptr)
            UpdateWindow(window_);
    }
    ~RenderWindow() {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }
    RenderWindow(const RenderWindow&) = delete;
    RenderWindow& operator=(const RenderWindow&) = delete;

    HWND handle() const { return window_; }

  private:
    HWND window_ = nullptr;
};

} // namespace kelvara::testing
