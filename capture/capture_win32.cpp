// The desktop capture on Windows, through GDI: the whole virtual screen (every
// monitor, those left of or above the primary at negative coordinates) copied
// once, unscaled, into a 32-bit top-down DIB section; the portable cut and
// scale makes each monitor's picture from it.
//
// Provides grabDesktop (capture/capture.h).
//
// Limits: what GDI shows of windows drawn by other means (overlays, some GL or
// video surfaces) depends on the driver. Runs on the thread that owns the
// saver window before the window is shown, so the picture is the desktop as
// the user left it. The DIB costs 4 bytes a pixel of the virtual screen while
// the cuts are made (about 25 MB for three 1920 x 1080 monitors).

#include <windows.h>

#include "capture/capture.h"
#include "display/display_win32.h"

namespace kelvara {

namespace {

// The DIB section and the memory device context it is selected into, given
// back together when the last cut has been made.
struct DibPicture {
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;

    ~DibPicture() {
        if (memory != nullptr && previous != nullptr)
            SelectObject(memory, previous);
        if (bitmap != nullptr)
            DeleteObject(bitmap);
        if (memory != nullptr)
            DeleteDC(memory);
    }
};

} // namespace

bool grabDesktop(NativeDisplay, DesktopGrab& out) {
    out = DesktopGrab{};
    // The virtual screen, as the saver window covers it.
    const ScreenRect box = virtualScreen();
    const int width = box.width;
    const int height = box.height;
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return false;

    auto picture = std::make_shared<DibPicture>();
    void* bits = nullptr;
    if (width > 0 && height > 0) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // negative: top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32; // blue, green, red, unused
        info.bmiHeader.biCompression = BI_RGB;
        picture->memory = CreateCompatibleDC(screen);
        if (picture->memory != nullptr)
            picture->bitmap = CreateDIBSection(picture->memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    bool copied = false;
    if (picture->bitmap != nullptr && bits != nullptr) {
        picture->previous = SelectObject(picture->memory, picture->bitmap);
        copied = BitBlt(picture->memory, 0, 0, width, height, screen, box.x, box.y, SRCCOPY) != FALSE;
        // GDI may still be writing into the section: finish before reading it.
        GdiFlush();
    }
    ReleaseDC(nullptr, screen);
    if (!copied)
        return false;

    out.pixels = PackedImage{static_cast<const uint8_t*>(bits),
                             width,
                             height,
                             width * 4,
                             4,
                             false,
                             0x00FF0000u,
                             0x0000FF00u,
                             0x000000FFu};
    out.area = box;
    out.keep = std::move(picture);
    return true;
}

} // namespace kelvara
