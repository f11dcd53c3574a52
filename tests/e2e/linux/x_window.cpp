// Test helper: an ordinary X window for the saver to draw into.
// x_window: maps a 640x480 window, prints its id (decimal) on stdout, and on
// SIGTERM destroys the window and exits 0.
#include <X11/Xlib.h>
#include <signal.h>

#include <cstdio>

int main() {
    // Blocked before anything else, so sigwait takes the signal whenever it comes.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x_window: cannot open the display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 100, 100, 640, 480, 0,
                                              BlackPixel(display, screen), BlackPixel(display, screen));
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
