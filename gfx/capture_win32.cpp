// The desktop capture on Windows, through GDI: the whole desktop window is
// shrunk (or stretched) into a bitmap of the capture size, and that bitmap is
// read with one GetDIBits call.
//
// Provides captureDesktop (gfx/capture.h).
//
// Limits: the primary desktop window only (GetDesktopWindow), not the whole
// virtual screen of several monitors; what GDI shows of windows drawn by
// other means (overlays, some GL or video surfaces) depends on the driver.
// Runs on the thread that owns the saver window before the window is shown,
// so the picture is the desktop as the user left it.

#include <windows.h>

#include <cstring>
#include <new>

#include "gfx/capture.h"

namespace kelvara {

namespace {

// Bytes of one row of a 24-bit DIB: padded up to whole 32-bit words.
size_t dibStride(int32_t width) {
    return (static_cast<size_t>(width) * 3u + 3u) & ~static_cast<size_t>(3u);
}

// Scales the desktop into a new bitmap of width x height and reads it top row
// first, 24 bits a pixel, into `dib` (rows dibStride(width) bytes apart).
bool readScaledDesktop(int32_t width, int32_t height, uint8_t* dib) {
    const HWND desktop = GetDesktopWindow();
    const HDC screen = GetWindowDC(desktop);
    if (screen == nullptr)
        return false;
    RECT rect{};
    GetWindowRect(desktop, &rect);
    const int desktopWidth = rect.right - rect.left;
    const int desktopHeight = rect.bottom - rect.top;

    bool ok = false;
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(screen, width, height) : nullptr;
    if (bitmap != nullptr && desktopWidth > 0 && desktopHeight > 0) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        // The default mode (BLACKONWHITE) ANDs the pixels a shrink drops into
        // the ones it keeps: a colour desktop comes out dark and speckled.
        // HALFTONE averages them; it wants its brush origin set after the mode.
        // A picture that only grows drops no pixel, and HALFTONE costs there
        // about four times COLORONCOLOR (0.25 s against 0.06 s for 1024 x 768
        // to 2048 x 2048 under Wine) for no visible gain under a filtered
        // texture.
        if (width < desktopWidth || height < desktopHeight) {
            SetStretchBltMode(memory, HALFTONE);
            SetBrushOrgEx(memory, 0, 0, nullptr);
        } else {
            SetStretchBltMode(memory, COLORONCOLOR);
        }
        const bool copied = StretchBlt(memory, 0, 0, width, height, screen, 0, 0, desktopWidth, desktopHeight,
                                       SRCCOPY) != FALSE;
        // GetDIBits wants the bitmap out of any device context.
        SelectObject(memory, previous);

        if (copied) {
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            info.bmiHeader.biWidth = width;
            info.bmiHeader.biHeight = -height; // negative: top row first
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 24; // blue, green, red
            info.bmiHeader.biCompression = BI_RGB;
            ok =
                GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), dib, &info, DIB_RGB_COLORS) == height;
        }
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    if (memory != nullptr)
        DeleteDC(memory);
    ReleaseDC(desktop, screen);
    return ok;
}

} // namespace

bool captureDesktop(CaptureBuffer& out, const Settings& settings, bool preview) {
    release(out);
    const CaptureSize size = captureSize(settings, preview);
    const size_t packedRow = static_cast<size_t>(size.width) * 3u;
    const size_t stride = dibStride(size.width);

    // One allocation, big enough for the padded DIB rows; the rows are then
    // packed in place (each moves down to a lower or equal offset).
    std::vector<uint8_t> pixels;
    try {
        pixels.resize(stride * static_cast<size_t>(size.height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!readScaledDesktop(size.width, size.height, pixels.data()))
        return false;

    if (stride != packedRow) {
        for (int32_t y = 1; y < size.height; ++y)
            std::memmove(pixels.data() + static_cast<size_t>(y) * packedRow,
                         pixels.data() + static_cast<size_t>(y) * stride, packedRow);
        pixels.resize(packedRow * static_cast<size_t>(size.height));
    }

    out.width = size.width;
    out.height = size.height;
    out.bgr = std::move(pixels);
    return true;
}

} // namespace kelvara
