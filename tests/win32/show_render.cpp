// Draws the render thread's picture into a full-screen window and holds it for
// a screenshot: either a capture of a painted test pattern or the logo.
//
//   kelvara_win_show_render desktop|logo [mode [seconds]]
//
// `mode` is the setting Mode (default 1, Wave1); the camera stands still so
// the picture can be judged. Prints "ready" on stdout once frames are on the
// screen, then keeps drawing for `seconds` (default 5).

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/capture.h"
#include "render/render_host.h"
#include "win32/pattern_window.h"
#include "win32/render_window.h"

using namespace kelvara;

int main(int argc, char** argv) {
    const bool logo = argc > 1 && std::strcmp(argv[1], "logo") == 0;
    Settings settings;
    settings.Mode = argc > 2 ? std::atoi(argv[2]) : 1;
    settings.enableMovement = 0;
    settings.useOGL = logo ? 1 : 0;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 5;

    CaptureBuffer capture;
    if (!logo) {
        kelvara::testing::PatternWindow pattern;
        if (!captureDesktop(nullptr, capture, settings, false)) {
            std::fprintf(stderr, "show_render: the capture failed\n");
            return 1;
        }
    }

    kelvara::testing::RenderWindow window(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (window.handle() == nullptr) {
        std::fprintf(stderr, "show_render: no window\n");
        return 1;
    }
    kelvara::testing::pumpMessages(200);

    std::atomic<uint64_t> frames{0};
    RenderThreadOptions options;
    options.observer = [&frames](uint64_t frame) { frames.store(frame); };
    renderRunning.store(1);
    RenderThread* thread =
        startRenderThread(DrawTarget{reinterpret_cast<NativeWindow>(window.handle()), nullptr}, settings,
                          wholeWindow(capture), ThreadPriority::Normal, options);
    if (thread == nullptr) {
        std::fprintf(stderr, "show_render: no render thread\n");
        return 1;
    }
    const DWORD start = GetTickCount();
    while (frames.load() < 10 && GetTickCount() - start < 20000)
        kelvara::testing::pumpMessages(50);
    std::printf("%s after %llu frames\n", frames.load() >= 10 ? "ready" : "slow",
                static_cast<unsigned long long>(frames.load()));
    std::fflush(stdout);
    kelvara::testing::pumpMessages(static_cast<DWORD>(seconds) * 1000u);

    renderRunning.store(0);
    const bool ended = joinRenderThread(thread, 5000);
    std::printf("%llu frames in all; thread %s\n", static_cast<unsigned long long>(frames.load()),
                ended ? "ended" : "still running at the timeout");
    return ended ? 0 : 1;
}
