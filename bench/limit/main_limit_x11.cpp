// kelvara-limit: the fastest frame this display can give the saver. A window
// over the whole screen, the saver's GL state and screen texture, and per
// frame one textured, lit quad filling the view, then the swap; the rate
// this reaches bounds what any mode of the saver can reach here.
//
// Limits: X11 and GLX only; ends after --seconds or on SIGTERM, SIGINT or
// SIGHUP (statistics are written either way), not on input.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "capture/picture.h"
#include "limit_options.h"
#include "render/frame_stats.h"
#include "render/gl_context_glx.h"
#include "render/scene_state.h"
#include "render/screen_texture.h"
#include "scene/gl.h"

namespace {

using namespace kelvara;

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

// 1 waits for the retrace, 0 presents at once; without a swap-control
// extension the driver's default holds.
void setSwapInterval(Display* display, int screen, GLXDrawable drawable, int interval) {
    const std::string extensions = glXQueryExtensionsString(display, screen);
    auto has = [&](const char* name) {
        const std::string padded = " " + extensions + " ";
        return padded.find(std::string(" ") + name + " ") != std::string::npos;
    };
    auto proc = [](const char* name) { return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)); };
    if (has("GLX_EXT_swap_control")) {
        if (auto fn = reinterpret_cast<void (*)(Display*, GLXDrawable, int)>(proc("glXSwapIntervalEXT")))
            return fn(display, drawable, interval);
    }
    if (has("GLX_MESA_swap_control")) {
        if (auto fn = reinterpret_cast<int (*)(unsigned)>(proc("glXSwapIntervalMESA")))
            fn(static_cast<unsigned>(interval));
    }
}

// The quad sits this far in front of the eye, inside the saver's near and
// far planes, and is made a little larger than the view so no edge shows.
constexpr float kQuadDistance = 100.0f;
constexpr float kHalfFieldOfViewTan = 1.7320508f; // tan(60 degrees): half the saver's 120 degree view
constexpr float kAspect = 1.33f;
constexpr float kMargin = 1.02f;

void drawQuad() {
    const float h = kQuadDistance * kHalfFieldOfViewTan * kMargin;
    const float w = h * kAspect;
    glLoadIdentity();
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    // Counter-clockwise seen from the eye: the front face, kept by the culling.
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-w, -h, -kQuadDistance);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(w, -h, -kQuadDistance);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(w, h, -kQuadDistance);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-w, h, -kQuadDistance);
    glEnd();
}

} // namespace

int main(int argc, char** argv) {
    const ParsedLimitOptions parsed = parseLimitOptions(argc, argv);
    if (!parsed.ok) {
        std::fprintf(stderr, "kelvara-limit: %s\n%s", parsed.error.c_str(), kLimitUsage);
        return 2;
    }
    const LimitOptions& options = parsed.options;
    if (options.help) {
        std::fputs(kLimitUsage, stdout);
        return 0;
    }
    using Clock = FrameStats::Clock;
    FrameStats stats;

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "kelvara-limit: XOpenDisplay: cannot open the display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    GLXFBConfig config = nullptr;
    XVisualInfo* visual = nullptr;
    if (!chooseFbConfig(display, screen, 0, config) ||
        !(visual = glXGetVisualFromFBConfig(display, config))) {
        std::fprintf(stderr, "kelvara-limit: glXGetFBConfigs: no double-buffered RGBA configuration\n");
        XCloseDisplay(display);
        return 1;
    }

    // The saver's settings as they are before anyone changes them; the desktop
    // is taken before our window covers it, as the saver does.
    const Settings settings;
    const auto captureStart = Clock::now();
    CaptureBuffer capture;
    if (!captureDesktop(display, capture, settings, false)) {
        std::fprintf(stderr, "kelvara-limit: no picture of the desktop; using the test pattern\n");
        const CaptureSize size = captureSize(settings, false);
        capture = captureFromImage(makeTestPattern(1024, 768), size.width, size.height);
    }
    stats.noteCapture(millisecondsBetween(captureStart, Clock::now()));

    const int width = DisplayWidth(display, screen);
    const int height = DisplayHeight(display, screen);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.border_pixel = 0;
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(display, root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                      visual->depth, InputOutput, visual->visual,
                      CWColormap | CWBackPixel | CWBorderPixel | CWOverrideRedirect, &attributes);
    XFree(visual);
    XStoreName(display, window, "kelvara-limit");
    XMapRaised(display, window);
    XSync(display, False);

    GLXContext context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
    if (!context || !glXMakeCurrent(display, window, context)) {
        std::fprintf(stderr, "kelvara-limit: glXCreateNewContext/glXMakeCurrent: refused\n");
        XCloseDisplay(display);
        return 1;
    }
    setSwapInterval(display, screen, window, options.waitForRetrace ? 1 : 0);
    glViewport(0, 0, width, height);

    Scene scene;
    initSceneState(scene, settings);
    const auto uploadStart = Clock::now();
    const unsigned texture = createScreenTexture(capture, settings);
    stats.noteUpload(millisecondsBetween(uploadStart, Clock::now()));

    const auto runLength =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    Clock::time_point end{};
    for (bool first = true; stopRequested == 0; first = false) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawQuad();
        glXSwapBuffers(display, window);
        const auto now = Clock::now();
        stats.framePresented(now);
        if (first)
            end = now + runLength;
        else if (now >= end)
            break;
    }
    const FrameSummary summary = stats.summary();

    if (texture != 0)
        glDeleteTextures(1, &texture);
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XCloseDisplay(display);

    std::string error;
    if (!options.statsFile.empty() && !writeFrameSummary(options.statsFile, summary, error)) {
        std::fprintf(stderr, "kelvara-limit: --stats: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
