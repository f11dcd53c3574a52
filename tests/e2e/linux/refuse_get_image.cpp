// Preloaded into the saver by the capture_fails case: a server that refuses
// every XGetImage, so the desktop capture fails the way it does when the root
// cannot be read.
#include <X11/Xlib.h>

extern "C" XImage* XGetImage(Display*, Drawable, int, int, unsigned, unsigned, unsigned long, int) {
    return nullptr;
}
