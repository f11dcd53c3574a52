// The saver's window and event loop on X11: the platform under a SaverSession.
//
// Provides: runSaver for a full-screen window of its own (override-redirect,
// keyboard and pointer grabbed, cursor hidden), an ordinary window to try the
// saver out, or a window someone else made (XScreenSaver's -root or
// -window-id, a /p preview). The session decides the run's order; this file
// makes the window, pumps its events and turns input into the run's end.
// Limits: one screen (the default one), whose monitors a full-screen window
// covers, each with a scene of its own; the viewports keep the layout the
// window had at start; no password prompt (the screen locker's business). SIGTERM,
// SIGINT and SIGHUP end every kind of run the same way as input does. One
// full-screen run per screen: a second one ends at once with 0 (a selection
// the first owns tells it; the server drops it with the first's connection).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "capture/capture.h"
#include "capture/screenshot.h"
#include "display/display_xrandr.h"
#include "display/monitors_xrandr.h"
#include "host/end_signal_posix.h"
#include "host/saver_host.h"
#include "host/saver_session.h"
#include "host/session_rules.h"
#include "host/session_run_posix.h"
#include "render/gl_context_glx.h"
#include "render/render_host.h"
#include "settings/failure_line.h"
#include "settings/printable_text.h"

namespace kelvara {

namespace {

// The window drawn into may vanish at any time, under either thread's
// connection: the default handler would end the process, so errors are only
// noted. A BadWindow or BadDrawable naming the target ends the run.
std::atomic<unsigned long> goneResource{0};

int onXError(Display*, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        goneResource.store(error->resourceid);
    return 0;
}

Cursor blankCursor(Display* display, Window window) {
    static const char bits[1] = {0};
    Pixmap empty = XCreateBitmapFromData(display, window, bits, 1, 1);
    XColor black{};
    Cursor cursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display, empty);
    return cursor;
}

// The grabs need a viewable window; the server may also refuse them for a
// moment while another client holds one, so they are retried briefly.
void grabInput(Display* display, Window window) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int keyboard = XGrabKeyboard(display, window, True, GrabModeAsync, GrabModeAsync, CurrentTime);
        if (keyboard == GrabSuccess) {
            const unsigned mask = ButtonPressMask | PointerMotionMask;
            if (XGrabPointer(display, window, True, mask, GrabModeAsync, GrabModeAsync, None, None,
                             CurrentTime) != GrabSuccess)
                reportFailure("XGrabPointer: refused; the pointer may reach other windows");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    reportFailure("XGrabKeyboard: refused; keys may reach other windows");
}

// Up to 2 s; checked often, as the first frame waits for it.
void waitForMap(Display* display, Window window) {
    for (int i = 0; i < 1000; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The root's rectangle as it is now (Xlib's own copy of its size follows
// only events this connection does not ask for).
ScreenRect rootArea(Display* display) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, DefaultRootWindow(display), &a))
        return ScreenRect{0, 0, DisplayWidth(display, DefaultScreen(display)),
                          DisplayHeight(display, DefaultScreen(display))};
    return ScreenRect{0, 0, a.width, a.height};
}

struct OwnWindow {
    Window window = 0;
    Colormap colormap = 0;
    Cursor cursor = 0;
    Atom deleteWindow = 0;
};

// The window takes the visual of the configuration the render thread
// prepared (waiting for it here); without one, the screen's default.
OwnWindow createOwnWindow(Display* display, bool fullScreen, PreparedContext& setup) {
    OwnWindow own;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    Visual* visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    VisualID glVisual = 0;
    int glDepth = 0;
    if (glxReady(setup, glVisual, glDepth)) {
        XVisualInfo wanted{};
        wanted.visualid = glVisual;
        wanted.screen = screen;
        int count = 0;
        if (XVisualInfo* info = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &wanted, &count)) {
            visual = info->visual;
            depth = info->depth;
            XFree(info);
        }
    }
    own.colormap = XCreateColormap(display, root, visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = own.colormap;
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.border_pixel = 0;
    attributes.override_redirect = fullScreen ? True : False;
    attributes.event_mask = KeyPressMask | StructureNotifyMask | ExposureMask;
    if (fullScreen)
        attributes.event_mask |= ButtonPressMask | PointerMotionMask;
    const unsigned width = fullScreen ? static_cast<unsigned>(DisplayWidth(display, screen)) : 800u;
    const unsigned height = fullScreen ? static_cast<unsigned>(DisplayHeight(display, screen)) : 600u;
    own.window = XCreateWindow(display, root, 0, 0, width, height, 0, depth, InputOutput, visual,
                               CWColormap | CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask,
                               &attributes);
    XStoreName(display, own.window, fullScreen ? "Screen Saver" : "Kelvara");
    XClassHint hint{const_cast<char*>("kelvara"), const_cast<char*>("Kelvara")};
    XSetClassHint(display, own.window, &hint);
    own.deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, own.window, &own.deleteWindow, 1);
    if (fullScreen) {
        // A window manager that honours override-redirect ignores this; one
        // that looks at the state anyway keeps the window full screen.
        Atom state = XInternAtom(display, "_NET_WM_STATE", False);
        Atom full = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(display, own.window, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&full), 1);
        own.cursor = blankCursor(display, own.window);
        XDefineCursor(display, own.window, own.cursor);
    }
    return own;
}

// Whether this run may cover `screen`: looked at and taken in one step, so
// two runs started together cannot both take it. False when another
// full-screen run owns the screen's selection.
bool claimScreen(Display* display, int screen) {
    const std::string name = "_KELVARA_SAVER_S" + std::to_string(screen);
    const Atom selection = XInternAtom(display, name.c_str(), False);
    const Window owner = XCreateWindow(display, RootWindow(display, screen), -1, -1, 1, 1, 0, CopyFromParent,
                                       InputOnly, CopyFromParent, 0, nullptr);
    XGrabServer(display);
    const bool free = XGetSelectionOwner(display, selection) == None;
    if (free)
        XSetSelectionOwner(display, selection, owner, CurrentTime);
    XUngrabServer(display);
    XSync(display, False);
    // The window stays while the run does: its end gives the selection up.
    if (!free)
        XDestroyWindow(display, owner);
    return free;
}

void reportOpenFailure() {
    const char* name = XDisplayName(nullptr);
    if (!name || !*name)
        reportFailure("XOpenDisplay: cannot open the display: DISPLAY is not set");
    else
        reportFailure("XOpenDisplay(\"%s\"): cannot open the display", printableExcerpt(name).c_str());
}

// The X11 platform of one run: the connection, the window drawn into and the
// render thread drawing there.
class X11Saver final : public PosixSaverPlatform {
  public:
    explicit X11Saver(const SaverOptions& options)
        : options_(options), fullScreen_(options.kind == RunKind::FullScreen),
          ownWindow_(options.kind != RunKind::IntoWindow) {}
    ~X11Saver() override;

    // The display, the screen's claim, GLX, the signals and the window to
    // draw into; false (the reason on stderr) when the run cannot start.
    bool open();
    // Events until input, a signal, a limit or the window's end ends the run.
    void pumpEvents(const SaverSession& session);

    std::vector<MonitorView> monitors() override;
    CaptureOutcome captureMonitors(const std::vector<MonitorView>& monitors, const Settings& settings,
                                   bool preview, std::vector<CaptureBuffer>& pictures) override;
    DisplayBackend* displayModes() override { return modes_.get(); }
    void prepareDrawing() override;
    bool drawingReady() override;
    void showWindow(bool switched) override;
    bool startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                      ThreadPriority threadPriority, const RenderThreadOptions& options) override;
    bool stopDrawing(unsigned timeoutMs) override;

  private:
    bool findTarget();
    void watchPointer();
    bool endsRun(const XEvent& event);

    const SaverOptions& options_;
    const bool fullScreen_;
    const bool ownWindow_;
    Display* display_ = nullptr; // this thread's one connection, handed to whatever asks the server
    std::unique_ptr<DisplayBackend> modes_;
    Window target_ = 0;
    int glxScreen_ = 0;
    VisualID glxVisual_ = 0; // 0: any, for a window of our own
    std::shared_ptr<PreparedContext> glx_;
    OwnWindow own_;
    RenderThread* thread_ = nullptr;
    MouseMoveCounter mouse_;
};

X11Saver::~X11Saver() {
    modes_.reset(); // it asks over display_
    if (!display_)
        return;
    if (own_.window) {
        XUngrabPointer(display_, CurrentTime);
        XUngrabKeyboard(display_, CurrentTime);
        XDestroyWindow(display_, own_.window);
        if (own_.cursor)
            XFreeCursor(display_, own_.cursor);
        XFreeColormap(display_, own_.colormap);
    }
    XCloseDisplay(display_);
}

bool X11Saver::open() {
    // The first Xlib call of the process: the render thread opens a
    // connection of its own.
    XInitThreads();
    XSetErrorHandler(onXError);
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
        reportOpenFailure();
        return false;
    }
    if (fullScreen_ && !claimScreen(display_, DefaultScreen(display_))) {
        reportFailure("another full-screen kelvara covers this screen already; this run ends");
        anotherRuns_ = true;
        return false;
    }
    modes_ = makeXrandrDisplay(display_);
    // Without GLX nothing can be drawn: say so before anything is captured,
    // switched or shown, rather than leave a black window.
    int glxError = 0, glxEvent = 0;
    if (!glXQueryExtension(display_, &glxError, &glxEvent)) {
        reportFailure("glXQueryExtension: the X server offers no GLX; nothing to draw with");
        return false;
    }
    if (!installEndSignals())
        reportFailure("pipe: %s; signals end the run abruptly", std::strerror(errno));
    glxScreen_ = DefaultScreen(display_);
    return ownWindow_ || findTarget();
}

bool X11Saver::findTarget() {
    target_ = options_.intoRoot ? DefaultRootWindow(display_) : static_cast<Window>(options_.window);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, target_, &a)) {
        reportFailure("XGetWindowAttributes(0x%lx): no such window", target_);
        return false;
    }
    // DestroyNotify of the window ends the run.
    XSelectInput(display_, target_, a.your_event_mask | StructureNotifyMask);
    XSync(display_, False);
    glxScreen_ = XScreenNumberOfScreen(a.screen);
    glxVisual_ = XVisualIDFromVisual(a.visual);
    return true;
}

void X11Saver::prepareDrawing() {
    glx_ = prepareGlx(glxScreen_, glxVisual_);
}

bool X11Saver::drawingReady() {
    VisualID visual = 0;
    int depth = 0;
    return glx_ && glxReady(*glx_, visual, depth);
}

// A window we were handed is one monitor, and may carry XScreenSaver's
// picture of the desktop under it, or the user's word that there be none.
CaptureOutcome X11Saver::captureMonitors(const std::vector<MonitorView>& monitors, const Settings& settings,
                                         bool preview, std::vector<CaptureBuffer>& pictures) {
    if (ownWindow_) {
        pictures = captureViews(display_, monitors, settings, preview);
        return pictures.empty() ? CaptureOutcome::Failed : CaptureOutcome::Taken;
    }
    pictures.assign(1, CaptureBuffer{});
    return captureHandedWindow(display_, pictures.front(), settings, preview, target_,
                               options_.screensaverWindow);
}

// A full-screen window covers the root, every monitor of the screen, each
// showing its own part of the desktop. Any other window (one to try the saver
// in, one handed over) is one monitor showing the whole root, as XScreenSaver
// gives each monitor a window of its own.
std::vector<MonitorView> X11Saver::monitors() {
    const ScreenRect root = rootArea(display_);
    if (fullScreen_)
        return layoutMonitors(listMonitorsOn(display_), root);
    MonitorView whole;
    whole.desktop = root;
    whole.primary = true;
    return {whole};
}

void X11Saver::showWindow(bool) {
    if (ownWindow_) {
        own_ = createOwnWindow(display_, fullScreen_, *glx_);
        target_ = own_.window;
        // The root as it is now: a mode switch may have resized it.
        if (fullScreen_) {
            const ScreenRect root = rootArea(display_);
            XMoveResizeWindow(display_, own_.window, 0, 0, static_cast<unsigned>(root.width),
                              static_cast<unsigned>(root.height));
        }
        XMapRaised(display_, own_.window);
        waitForMap(display_, own_.window);
        if (fullScreen_) {
            grabInput(display_, own_.window);
            watchPointer();
        }
    }
    XSync(display_, False);
}

// The pointer's resting place is known before any motion, so the first
// motion event already counts as a move.
void X11Saver::watchPointer() {
    Window rootReturn, child;
    int rootX, rootY, x, y;
    unsigned buttons;
    if (XQueryPointer(display_, own_.window, &rootReturn, &child, &rootX, &rootY, &x, &y, &buttons)) {
        mouse_.seen = true;
        mouse_.x = x;
        mouse_.y = y;
    }
}

bool X11Saver::startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                            ThreadPriority threadPriority, const RenderThreadOptions& options) {
    thread_ =
        startRenderThread(DrawTarget{target_, glx_}, settings, std::move(monitors), threadPriority, options);
    return thread_ != nullptr;
}

bool X11Saver::stopDrawing(unsigned timeoutMs) {
    const bool stopped = joinRenderThread(thread_, timeoutMs);
    thread_ = nullptr;
    return stopped;
}

bool X11Saver::endsRun(const XEvent& event) {
    switch (event.type) {
    case KeyPress:
        return ownWindow_;
    case ButtonPress:
        return fullScreen_;
    case MotionNotify:
        return fullScreen_ && countMouseMove(mouse_, event.xmotion.x, event.xmotion.y);
    case DestroyNotify:
        return event.xdestroywindow.window == target_;
    case ClientMessage:
        return ownWindow_ && static_cast<Atom>(event.xclient.data.l[0]) == own_.deleteWindow;
    default:
        return false;
    }
}

void X11Saver::pumpEvents(const SaverSession& session) {
    const int xfd = ConnectionNumber(display_);
    for (;;) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (endsRun(event))
                return;
        }
        if (goneResource.load() == target_ || session.endRequested())
            return;
        pollfd fds[2] = {{xfd, POLLIN, 0}, {endSignalFd(), POLLIN, 0}};
        const int ready = poll(fds, endSignalFd() >= 0 ? 2 : 1, 500);
        if (ready > 0 && (fds[1].revents & POLLIN) != 0)
            return;
        if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0)
            return;
    }
}

} // namespace

int runSaver(const SaverOptions& options, SettingsStore& store) {
    return runPosixHost<X11Saver>(options, store, posixSessionConfig(options));
}

} // namespace kelvara
