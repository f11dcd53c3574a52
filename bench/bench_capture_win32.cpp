// Time of the desktop capture on Windows: the whole desktop (a painted test
// pattern over the whole screen) scaled and read at the largest texture size
// the dialog offers and at the default size, next to reading the same scaled
// bitmap one GetPixel call per pixel.
//
//   kelvara_bench_capture [repeats]
//
// The per-pixel way is timed once per size, for its reading alone (the
// scaling before it is the same as the capture's).

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "capture/capture.h"
#include "win32/pattern_window.h"

using namespace kelvara;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void timeCapture(int width, int height, int repeats) {
    Settings settings;
    settings.screenTextureWidth = width;
    settings.screenTextureHeight = height;
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        CaptureBuffer capture;
        const auto start = Clock::now();
        const bool ok = captureDesktop(nullptr, capture, settings, false);
        times.push_back(secondsSince(start));
        if (!ok) {
            std::printf("captureDesktop %d x %d failed\n", width, height);
            return;
        }
    }
    std::sort(times.begin(), times.end());
    double sum = 0.0;
    for (const double t : times)
        sum += t;
    std::printf("captureDesktop %4d x %4d: best %.3f s, median %.3f s, mean %.3f s over %d runs\n", width,
                height, times.front(), times[times.size() / 2], sum / static_cast<double>(times.size()),
                repeats);
}

// The same scaling, then one GetPixel per pixel, column by column, into the
// same packed BGR layout. Returns the seconds of the reading alone.
double timeGetPixelReading(int width, int height) {
    const HWND desktop = GetDesktopWindow();
    const HDC screen = GetWindowDC(desktop);
    RECT rect{};
    GetWindowRect(desktop, &rect);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    SetStretchBltMode(memory, HALFTONE);
    SetBrushOrgEx(memory, 0, 0, nullptr);
    StretchBlt(memory, 0, 0, width, height, screen, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
               SRCCOPY);

    std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
    const auto start = Clock::now();
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            const COLORREF c = GetPixel(memory, x, y);
            uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    }
    const double seconds = secondsSince(start);

    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(desktop, screen);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    kelvara::testing::PatternWindow pattern;
    std::printf("desktop %d x %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));

    timeCapture(2048, 2048, repeats);
    timeCapture(512, 256, repeats);

    for (const auto& [width, height] : {std::pair{2048, 2048}, std::pair{512, 256}}) {
        const double seconds = timeGetPixelReading(width, height);
        std::printf("GetPixel reading %4d x %4d: %.3f s (%.2f us per call), plus the same scaling\n", width,
                    height, seconds, seconds / (static_cast<double>(width) * height) * 1e6);
    }
    return 0;
}
