// The desktop's picture for a window the run was handed, on X11.
//
// Provides: captureHandedWindow. XScreenSaver's daemon saves the desktop
// before it covers the screen and hangs the picture on each of its windows as
// the PIXMAP property _SCREENSAVER_SCREENSHOT, the window's size, showing
// what lay under that window (one monitor's desktop where each monitor has a
// window of its own). Its daemon saves it whatever the user's "Grab Desktop
// Images" says, so that choice is read from XScreenSaver's resource files
// here, as its own picture programs do.
// Limits: the choice is read from ~/.xscreensaver and the app-defaults file,
// not from resources loaded into the server (xrdb). A screenshot that is gone,
// of another size or of no usable colours is not used; on the daemon's own
// window the logo is shown then, as the screen under it is the daemon's.
// Asks over the host's connection, as the desktop capture does.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture.h"
#include "capture/capture_scale.h"
#include "capture/screenshot.h"
#include "capture/xscreensaver_prefs.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

constexpr const char* kSystemDefaults = "/etc/X11/app-defaults/XScreenSaver";
// A resource file larger than this is not XScreenSaver's.
constexpr std::streamsize kMaxResourceFile = 1 << 20;

// Errors on the connection while the capture asks are expected (the pixmap
// may be freed at any moment) and answered by the calls' results; the rest go
// to the handler the process had.
Display* trappedDisplay = nullptr;
XErrorHandler previousHandler = nullptr;

int trapErrors(Display* display, XErrorEvent* error) {
    if (display == trappedDisplay)
        return 0;
    return previousHandler ? previousHandler(display, error) : 0;
}

class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : display_(display) {
        trappedDisplay = display;
        previousHandler = XSetErrorHandler(trapErrors);
    }
    ~ErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previousHandler);
        trappedDisplay = nullptr;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

  private:
    Display* display_;
};

std::optional<bool> grabChoiceInFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(kMaxResourceFile), '\0');
    file.read(text.data(), kMaxResourceFile);
    text.resize(static_cast<std::size_t>(file.gcount()));
    return grabDesktopImagesIn(text);
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* user = getpwuid(getuid()); user && user->pw_dir)
        return user->pw_dir;
    return {};
}

// The daemon's windows carry its class.
bool isDaemonWindow(Display* display, Window window) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint))
        return false;
    const bool daemon = hint.res_class && std::strcmp(hint.res_class, "XScreenSaver") == 0;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return daemon;
}

enum class Property { Absent, Pixmap, NotAPixmap };

Property screenshotProperty(Display* display, Window window, Pixmap& pixmap) {
    const Atom name = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 1, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success)
        return Property::Absent;
    Property found = Property::Absent;
    if (type == XA_PIXMAP && format == 32 && count == 1 && data) {
        // Format 32 comes back as longs.
        pixmap = static_cast<Pixmap>(*reinterpret_cast<unsigned long*>(data));
        found = pixmap != None ? Property::Pixmap : Property::NotAPixmap;
    } else if (type != None) {
        found = Property::NotAPixmap;
    }
    if (data)
        XFree(data);
    return found;
}

// A picture in the server's layout and what owns its pixels.
struct ScreenshotPixels {
    PackedImage image;
    std::shared_ptr<XImage> keep;
};

// The screenshot's pixels as they stand, the window's size. A pixmap has no
// visual of its own: its colours are read through the window's visual (or one
// of the pixmap's depth on the window's screen). False with the reason in `why`.
bool readScreenshot(Display* display, Pixmap pixmap, const XWindowAttributes& window, ScreenshotPixels& out,
                    std::string& why) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &depth)) {
        why = "it is gone";
        return false;
    }
    if (static_cast<int>(width) != window.width || static_cast<int>(height) != window.height) {
        why = std::to_string(width) + "x" + std::to_string(height) + ", not the window's " +
              std::to_string(window.width) + "x" + std::to_string(window.height);
        return false;
    }
    Visual* visual = nullptr;
    XVisualInfo match{};
    if (static_cast<int>(depth) == window.depth)
        visual = window.visual;
    else if (XMatchVisualInfo(display, XScreenNumberOfScreen(window.screen), static_cast<int>(depth),
                              TrueColor, &match))
        visual = match.visual;
    if (!visual || visual->red_mask == 0 || visual->green_mask == 0 || visual->blue_mask == 0) {
        why = "a " + std::to_string(depth) + "-bit picture with no colours to use";
        return false;
    }
    XImage* image = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) {
        why = "XGetImage refused it";
        return false;
    }
    out.keep.reset(image, [](XImage* i) { XDestroyImage(i); });
    out.image.data = reinterpret_cast<const uint8_t*>(image->data);
    out.image.width = image->width;
    out.image.height = image->height;
    out.image.bytesPerLine = image->bytes_per_line;
    out.image.bytesPerPixel = image->bits_per_pixel % 8 == 0 ? image->bits_per_pixel / 8 : 0;
    out.image.msbFirst = image->byte_order == MSBFirst;
    out.image.redMask = static_cast<uint32_t>(visual->red_mask);
    out.image.greenMask = static_cast<uint32_t>(visual->green_mask);
    out.image.blueMask = static_cast<uint32_t>(visual->blue_mask);
    return true;
}

void sayGrabsAreOff(GrabChoiceSource source) {
    const char* where = source == GrabChoiceSource::UserFile
                            ? "in ~/.xscreensaver"
                            : "in /etc/X11/app-defaults/XScreenSaver, and ~/.xscreensaver does not say";
    reportFailure("XScreenSaver's \"Grab Desktop Images\" is off (grabDesktopImages: False %s); "
                  "showing the logo instead",
                  where);
}

// What the window offers, decided over the host's connection.
enum class Source { Picture, Logo, Screen, Failed };

Source pictureFromWindow(Display* display, Window target, bool namedByScreenSaver, const Settings& settings,
                         bool preview, CaptureBuffer& out) {
    ErrorTrap trap(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, target, &attributes)) {
        reportFailure("XGetWindowAttributes(0x%lx): no such window to capture for", target);
        return Source::Failed;
    }
    const bool daemonWindow = isDaemonWindow(display, target);
    if (daemonWindow || namedByScreenSaver) {
        const GrabChoice choice = desktopGrabChoice(grabChoiceInFile(homeFolder() + "/.xscreensaver"),
                                                    grabChoiceInFile(kSystemDefaults));
        if (!choice.allowed) {
            sayGrabsAreOff(choice.source);
            return Source::Logo;
        }
    }
    Pixmap pixmap = None;
    const Property property = screenshotProperty(display, target, pixmap);
    if (property == Property::Absent) {
        if (!daemonWindow)
            return Source::Screen;
        reportFailure("XScreenSaver's window 0x%lx holds no screenshot of the desktop "
                      "(_SCREENSAVER_SCREENSHOT); showing the logo instead",
                      target);
        return Source::Logo;
    }
    ScreenshotPixels pixels;
    std::string why = "not a pixmap";
    if (property == Property::Pixmap && readScreenshot(display, pixmap, attributes, pixels, why)) {
        const CaptureSize size = captureSize(settings, preview);
        if (scaleToCapture(pixels.image, size.width, size.height, out))
            return Source::Picture;
        why = "a " + std::to_string(pixels.keep->bits_per_pixel) + "-bit picture that cannot be scaled";
    }
    reportFailure("XScreenSaver's screenshot 0x%lx (_SCREENSAVER_SCREENSHOT of window 0x%lx): %s; %s", pixmap,
                  target, why.c_str(),
                  daemonWindow ? "showing the logo instead" : "taking the screen instead");
    return daemonWindow ? Source::Logo : Source::Screen;
}

} // namespace

CaptureOutcome captureHandedWindow(NativeDisplay connection, CaptureBuffer& out, const Settings& settings,
                                   bool preview, uint64_t window, bool namedByScreenSaver) {
    release(out);
    auto* display = static_cast<Display*>(connection);
    if (!display)
        return CaptureOutcome::Failed;
    const Source source =
        pictureFromWindow(display, static_cast<Window>(window), namedByScreenSaver, settings, preview, out);
    switch (source) {
    case Source::Picture:
        return CaptureOutcome::Taken;
    case Source::Logo:
        return CaptureOutcome::Logo;
    case Source::Screen:
        return captureDesktop(connection, out, settings, preview) ? CaptureOutcome::Taken
                                                                  : CaptureOutcome::Failed;
    case Source::Failed:
        break;
    }
    return CaptureOutcome::Failed;
}

} // namespace kelvara
