// The saver's window and event loop on X11.
//
// Provides: runSaver for a full-screen window of its own (override-redirect,
// keyboard and pointer grabbed, cursor hidden), an ordinary window to try the
// saver out, or a window someone else made (XScreenSaver's -root or
// -window-id, a /p preview).
// Limits: one screen (the default one); the viewport keeps the size the window
// had at start; no password prompt (the screen locker's business). SIGTERM,
// SIGINT and SIGHUP end every kind of run the same way as input does.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "display/display_modes.h"
#include "gfx/capture.h"
#include "gfx/frame_stats.h"
#include "gfx/gl_context_glx.h"
#include "gfx/render_host.h"
#include "host/run_control.h"
#include "host/saver_host.h"
#include "host/saver_rules.h"
#include "settings/printable_text.h"

namespace kelvara {

namespace {

// How long the end of a run waits for the render thread to release GL.
constexpr unsigned kJoinTimeoutMs = 3000;

int signalPipe[2] = {-1, -1};

// Wakes the event loop to end the run: from a signal handler or the run
// limiter's thread, so nothing but write(2).
void requestEnd() {
    const int saved = errno;
    const char byte = 1;
    if (signalPipe[1] >= 0)
        [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

void onSignal(int) {
    requestEnd();
}

bool installSignals() {
    if (pipe(signalPipe) != 0)
        return false;
    for (int fd : signalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

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
                std::fprintf(stderr, "kelvara: XGrabPointer: refused; the pointer may reach other windows\n");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fprintf(stderr, "kelvara: XGrabKeyboard: refused; keys may reach other windows\n");
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

struct OwnWindow {
    Window window = 0;
    Colormap colormap = 0;
    Cursor cursor = 0;
    Atom deleteWindow = 0;
};

// The window takes the visual of the configuration the render thread
// prepared (waiting for it here); without one, the screen's default.
OwnWindow createOwnWindow(Display* display, bool fullScreen, GlxSetup& setup) {
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

} // namespace

int runSaver(const SaverOptions& options, SettingsStore& store) {
    // The first Xlib call of the process: the render thread and the capture
    // open connections of their own.
    XInitThreads();
    XSetErrorHandler(onXError);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = XDisplayName(nullptr);
        if (!name || !*name)
            std::fprintf(stderr, "kelvara: XOpenDisplay: cannot open the display: DISPLAY is not set\n");
        else
            std::fprintf(stderr, "kelvara: XOpenDisplay(\"%s\"): cannot open the display\n",
                         printableExcerpt(name).c_str());
        return 1;
    }
    // Without GLX nothing can be drawn: say so before anything is captured,
    // switched or shown, rather than leave a black window.
    int glxError = 0, glxEvent = 0;
    if (!glXQueryExtension(display, &glxError, &glxEvent)) {
        std::fprintf(stderr, "kelvara: glXQueryExtension: the X server offers no GLX; nothing to draw with\n");
        XCloseDisplay(display);
        return 1;
    }
    if (!installSignals())
        std::fprintf(stderr, "kelvara: pipe: %s; signals end the run abruptly\n", std::strerror(errno));

    const bool fullScreen = options.kind == RunKind::FullScreen;
    const bool ownWindow = options.kind != RunKind::IntoWindow;
    Window target = 0;
    std::shared_ptr<GlxSetup> glx;
    if (!ownWindow) {
        target = options.intoRoot ? DefaultRootWindow(display) : static_cast<Window>(options.window);
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, target, &a)) {
            std::fprintf(stderr, "kelvara: XGetWindowAttributes(0x%lx): no such window\n", target);
            XCloseDisplay(display);
            return 1;
        }
        // DestroyNotify of the window ends the run.
        XSelectInput(display, target, a.your_event_mask | StructureNotifyMask);
        XSync(display, False);
        glx = prepareGlx(XScreenNumberOfScreen(a.screen), XVisualIDFromVisual(a.visual));
    } else {
        glx = prepareGlx(DefaultScreen(display), 0);
    }

    // Start-up: settings, capture before any window of ours is shown, display
    // mode, render thread.
    Settings settings;
    loadSettings(settings, store);
    const Settings stored = settings;
    std::vector<SettingOverride> overrides = options.overrides;
    applyOverrides(settings, overrides);

    // Only a run that reports them pays for the statistics' histogram.
    std::unique_ptr<FrameStats> stats;
    if (!options.statsFile.empty())
        stats = std::make_unique<FrameStats>();

    CaptureBuffer capture;
    const auto captureStart = FrameStats::Clock::now();
    const bool captured = settings.useOGL != 0 || captureDesktop(capture, settings, options.preview);
    if (stats && settings.useOGL == 0)
        stats->noteCapture(millisecondsBetween(captureStart, FrameStats::Clock::now()));
    if (!captured) {
        std::fprintf(stderr, "kelvara: no picture of the desktop; showing the logo instead\n");
        SettingOverride logo;
        for (std::size_t i = 0; i < kSettingFields.size(); ++i)
            if (std::string_view(kSettingFields[i].name) == "useOGL")
                logo.field = i;
        logo.intValue = 1;
        overrides.push_back(logo);
        applyOverrides(settings, {logo});
    }

    OwnWindow own;
    if (ownWindow) {
        own = createOwnWindow(display, fullScreen, *glx);
        target = own.window;
    }

    bool switched = false;
    if (fullScreen && wantsDisplaySwitch(settings)) {
        if (!switchDisplayMode(systemDisplay(), settings.resW, settings.resH, settings.resC)) {
            std::fprintf(stderr, "kelvara: Error setting resolution\n");
            XDestroyWindow(display, own.window);
            XCloseDisplay(display);
            return 1;
        }
        switched = true;
        XMoveResizeWindow(display, own.window, 0, 0, static_cast<unsigned>(settings.resW),
                          static_cast<unsigned>(settings.resH));
    }

    if (ownWindow) {
        XMapRaised(display, own.window);
        waitForMap(display, own.window);
        if (fullScreen)
            grabInput(display, own.window);
    }
    XSync(display, False);

    // The limiter outlives the render thread: the thread's observer calls it.
    RunLimiter limiter(options.limits, requestEnd);
    renderRunning.store(1, std::memory_order_release);
    RenderThreadOptions threadOptions;
    threadOptions.waitForRetrace = options.waitForRetrace;
    threadOptions.maxFps = options.maxFps;
    threadOptions.showFrameRate = options.showFrameRate;
    threadOptions.stats = stats.get();
    if (options.limits.frames > 0)
        threadOptions.observer = [&limiter](uint64_t frame) { limiter.framePresented(frame); };
    // A thread without GL ends the run at once: a saver that cannot draw must
    // not leave a black screen (or a locker's black window) with no reason
    // given. The thread has said why on stderr.
    std::atomic<bool> cannotDraw{false};
    threadOptions.cannotDraw = [&cannotDraw] {
        cannotDraw.store(true);
        requestEnd();
    };
    RenderThread* thread =
        startRenderThread(target, glx, settings, capture, threadPriorityFor(settings.Priority), threadOptions);
    if (!thread)
        cannotDraw.store(true);

    // Events until something ends the run.
    // The pointer's resting place is known before any motion, so the first
    // motion event already counts as a move.
    MouseMoveCounter mouse;
    if (fullScreen) {
        Window rootReturn, child;
        int rootX, rootY, x, y;
        unsigned buttons;
        if (XQueryPointer(display, own.window, &rootReturn, &child, &rootX, &rootY, &x, &y, &buttons)) {
            mouse.seen = true;
            mouse.x = x;
            mouse.y = y;
        }
    }
    bool running = !cannotDraw.load();
    const int xfd = ConnectionNumber(display);
    while (running) {
        while (running && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            switch (event.type) {
            case KeyPress:
                if (ownWindow)
                    running = false;
                break;
            case ButtonPress:
                if (fullScreen)
                    running = false;
                break;
            case MotionNotify:
                if (fullScreen && countMouseMove(mouse, event.xmotion.x, event.xmotion.y))
                    running = false;
                break;
            case DestroyNotify:
                if (event.xdestroywindow.window == target)
                    running = false;
                break;
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == own.deleteWindow && ownWindow)
                    running = false;
                break;
            default:
                break;
            }
        }
        if (!running || goneResource.load() == target || limiter.fired() || cannotDraw.load())
            break;
        pollfd fds[2] = {{xfd, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
        const int ready = poll(fds, signalPipe[0] >= 0 ? 2 : 1, 500);
        if (ready > 0 && (fds[1].revents & POLLIN) != 0)
            running = false;
        if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0)
            running = false;
    }

    // Shutdown: stop drawing, save (the user's values, not this run's
    // overrides; a random preset stays as the user's), restore the display.
    // The render thread writes the record when it applies a random preset;
    // only its end orders that write before the copy saved here. A run that
    // never drew changed nothing worth saving.
    renderRunning.store(0, std::memory_order_release);
    const bool stopped = joinRenderThread(thread, kJoinTimeoutMs);
    const bool drew = !cannotDraw.load();
    if (drew) {
        Settings toSave = settings;
        revertOverrides(toSave, stored, overrides);
        saveSettings(toSave, store);
    }
    if (switched)
        restoreDisplayMode(systemDisplay());
    if (!stopped) {
        // It still uses this run's settings and capture: end the process
        // before they go. Everything worth keeping is saved and restored.
        std::fprintf(stderr, "kelvara: the render thread did not stop within %u ms%s\n", kJoinTimeoutMs,
                     stats ? "; no statistics written" : "");
        std::fflush(nullptr);
        std::_Exit(0);
    }

    if (ownWindow) {
        XUngrabPointer(display, CurrentTime);
        XUngrabKeyboard(display, CurrentTime);
        XDestroyWindow(display, own.window);
        if (own.cursor)
            XFreeCursor(display, own.cursor);
        XFreeColormap(display, own.colormap);
    }
    XCloseDisplay(display);
    if (!drew)
        return 1;

    if (stats) {
        std::string error;
        if (!writeFrameSummary(options.statsFile, stats->summary(), error)) {
            std::fprintf(stderr, "kelvara: --stats: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace kelvara
