// Desktop capture on X11: the root window's picture through XGetImage.
//
// Provides: grabDesktop, the whole root (every monitor of the screen) in the
// server's pixel layout, over the connection of the thread that asks.
// Limits: the default screen; the root shows what the server composes into
// it, so under a compositing manager that draws elsewhere the picture may be
// the bare root, and a grab the server refuses is reported on stderr. Must run
// before the saver's own window is mapped, or the picture is that window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

#include "capture/capture.h"
#include "settings/failure_line.h"

namespace kelvara {

bool grabDesktop(NativeDisplay connection, DesktopGrab& out) {
    out = DesktopGrab{};
    auto* display = static_cast<Display*>(connection);
    if (!display)
        return false;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XImage* image = nullptr;
    if (!XGetWindowAttributes(display, root, &attributes))
        reportFailure("XGetWindowAttributes(root): refused");
    else if (!(image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                                 static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap)))
        reportFailure("XGetImage(root): refused");
    if (!image)
        return false;

    PackedImage& packed = out.pixels;
    packed.data = reinterpret_cast<const uint8_t*>(image->data);
    packed.width = image->width;
    packed.height = image->height;
    packed.bytesPerLine = image->bytes_per_line;
    packed.bytesPerPixel = image->bits_per_pixel % 8 == 0 ? image->bits_per_pixel / 8 : 0;
    packed.msbFirst = image->byte_order == MSBFirst;
    packed.redMask = static_cast<uint32_t>(image->red_mask);
    packed.greenMask = static_cast<uint32_t>(image->green_mask);
    packed.blueMask = static_cast<uint32_t>(image->blue_mask);
    out.area = ScreenRect{0, 0, image->width, image->height};
    out.keep = std::shared_ptr<void>(image, [](void* p) { XDestroyImage(static_cast<XImage*>(p)); });
    if ((packed.redMask | packed.greenMask | packed.blueMask) == 0) {
        reportFailure("XGetImage(root): a %d-bit palette picture: no colours to use", image->depth);
        out = DesktopGrab{};
        return false;
    }
    if (packed.bytesPerPixel < 1 || packed.bytesPerPixel > 4) {
        reportFailure("XGetImage(root): %d bits a pixel cannot be read", image->bits_per_pixel);
        out = DesktopGrab{};
        return false;
    }
    return true;
}

} // namespace kelvara
