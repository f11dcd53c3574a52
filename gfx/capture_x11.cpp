// Desktop capture on X11: the root window's picture through XGetImage.
//
// Provides: captureDesktop. Opens a connection of its own for the one grab.
// Limits: the root shows what the server composes into it; under a
// compositing manager that draws elsewhere the picture may be the bare root,
// and a grab the server refuses is reported on stderr. Must run before the
// saver's own window is mapped, or the picture is that window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

#include "gfx/capture.h"
#include "gfx/capture_scale.h"

namespace kelvara {

bool captureDesktop(CaptureBuffer& out, const Settings& settings, bool preview) {
    release(out);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "kelvara: XOpenDisplay for the desktop capture: cannot open the display\n");
        return false;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    bool ok = false;
    if (!XGetWindowAttributes(display, root, &attributes)) {
        std::fprintf(stderr, "kelvara: XGetWindowAttributes(root): refused\n");
    } else if (XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                                         static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap)) {
        PackedImage packed;
        packed.data = reinterpret_cast<const uint8_t*>(image->data);
        packed.width = image->width;
        packed.height = image->height;
        packed.bytesPerLine = image->bytes_per_line;
        packed.bytesPerPixel = image->bits_per_pixel % 8 == 0 ? image->bits_per_pixel / 8 : 0;
        packed.msbFirst = image->byte_order == MSBFirst;
        packed.redMask = static_cast<uint32_t>(image->red_mask);
        packed.greenMask = static_cast<uint32_t>(image->green_mask);
        packed.blueMask = static_cast<uint32_t>(image->blue_mask);
        const CaptureSize size = captureSize(settings, preview);
        ok = scaleToCapture(packed, size.width, size.height, out);
        if (!ok && (packed.redMask | packed.greenMask | packed.blueMask) == 0)
            std::fprintf(stderr, "kelvara: XGetImage(root): a %d-bit palette picture: no colours to use\n",
                         image->depth);
        else if (!ok)
            std::fprintf(stderr,
                         "kelvara: XGetImage(root): a %d-bit picture that cannot be scaled to %dx%d\n",
                         image->bits_per_pixel, size.width, size.height);
        XDestroyImage(image);
    } else {
        std::fprintf(stderr, "kelvara: XGetImage(root): refused\n");
    }
    XCloseDisplay(display);
    return ok;
}

} // namespace kelvara
