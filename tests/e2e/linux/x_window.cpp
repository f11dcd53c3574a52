// Test helper: an ordinary X window for the saver to draw into.
// x_window [--daemon-class] [--screenshot good|small|gone] [--geometry WxH+X+Y]:
// maps a window (640x480 at 100,100 unless told), prints its id (decimal) on
// stdout, and on SIGTERM destroys the window and exits 0.
// --daemon-class: the window carries XScreenSaver's class, as the daemon's do.
// --screenshot: the window's _SCREENSAVER_SCREENSHOT names a pixmap, as the
// daemon's do: "good" the window's size, green above and yellow below;
// "small" half the size; "gone" one already freed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kWidth = 640;
constexpr unsigned kHeight = 480;

unsigned long colour(Display* display, int screen, const char* name) {
    XColor exact{}, shown{};
    XAllocNamedColor(display, DefaultColormap(display, screen), name, &shown, &exact);
    return shown.pixel;
}

Pixmap paintedPixmap(Display* display, Window window, int screen, unsigned width, unsigned height) {
    const Pixmap pixmap = XCreatePixmap(display, window, width, height, DefaultDepth(display, screen));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSetForeground(display, gc, colour(display, screen, "green"));
    XFillRectangle(display, pixmap, gc, 0, 0, width, height / 2);
    XSetForeground(display, gc, colour(display, screen, "yellow"));
    XFillRectangle(display, pixmap, gc, 0, static_cast<int>(height / 2), width, height - height / 2);
    XFreeGC(display, gc);
    return pixmap;
}

} // namespace

int main(int argc, char** argv) {
    // Blocked before anything else, so sigwait takes the signal whenever it comes.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);

    bool daemonClass = false;
    const char* screenshot = nullptr;
    unsigned width = kWidth, height = kHeight;
    int x = 100, y = 100;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--daemon-class") == 0) {
            daemonClass = true;
        } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (std::strcmp(argv[i], "--geometry") == 0 && i + 1 < argc &&
                   std::sscanf(argv[i + 1], "%ux%u+%d+%d", &width, &height, &x, &y) == 4) {
            ++i;
        } else {
            std::fprintf(stderr, "x_window: unknown argument %s\n", argv[i]);
            return 2;
        }
    }

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x_window: cannot open the display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), x, y, width, height, 0,
                                              BlackPixel(display, screen), BlackPixel(display, screen));
    if (daemonClass) {
        XClassHint hint{const_cast<char*>("xscreensaver"), const_cast<char*>("XScreenSaver")};
        XSetClassHint(display, window, &hint);
    }
    if (screenshot) {
        const bool small = std::strcmp(screenshot, "small") == 0;
        Pixmap pixmap = paintedPixmap(display, window, screen, small ? width / 2 : width,
                                      small ? height / 2 : height);
        if (std::strcmp(screenshot, "gone") == 0)
            XFreePixmap(display, pixmap);
        const Atom name = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
        XChangeProperty(display, window, name, XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pixmap), 1);
    }
    XMapWindow(display, window);
    XSync(display, False);
    std::printf("%lu\n", window);
    std::fflush(stdout);
    int signal = 0;
    sigwait(&term, &signal);
    XDestroyWindow(display, window);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
