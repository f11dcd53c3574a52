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
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "frame_stats.h"
#include "gfx/capture.h"
#include "gfx/gl_context_glx.h"
#include "gfx/picture.h"
#include "gfx/scene_state.h"
#include "gfx/screen_texture.h"
#include "limit_options.h"
#include "scene/gl.h"

namespace {

using namespace kelvara;

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

double monotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Seconds since the process started, on the boot clock the kernel keeps the
// start time on (clock ticks; 10 ms steps on most kernels). 0 when unknown.
double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22; the command name (field 2) may hold spaces, so count after its ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    const char* p = text.c_str() + close + 1;
    unsigned long long startTicks = 0;
    for (int field = 3; field <= 22; ++field) {
        while (*p == ' ')
            ++p;
        if (field == 22)
            startTicks = std::strtoull(p, nullptr, 10);
        while (*p && *p != ' ')
            ++p;
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowSeconds = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    return nowSeconds - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
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

bool writeStats(const std::string& path, const FrameSummary& summary) {
    std::ofstream out(path, std::ios::trunc);
    out << formatFrameSummary(summary);
    out.close();
    if (!out) {
        std::fprintf(stderr, "kelvara-limit: writing %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
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
    const double startedAgo = secondsSinceProcessStart();
    const double mainEntered = monotonicSeconds();

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
    if (!chooseFbConfig(display, screen, 0, config) || !(visual = glXGetVisualFromFBConfig(display, config))) {
        std::fprintf(stderr, "kelvara-limit: glXGetFBConfigs: no double-buffered RGBA configuration\n");
        XCloseDisplay(display);
        return 1;
    }

    // The saver's settings as they are before anyone changes them; the desktop
    // is taken before our window covers it, as the saver does.
    const Settings settings;
    const double captureStart = monotonicSeconds();
    CaptureBuffer capture;
    if (!captureDesktop(capture, settings, false)) {
        std::fprintf(stderr, "kelvara-limit: no picture of the desktop; using the test pattern\n");
        const CaptureSize size = captureSize(settings, false);
        capture = captureFromImage(makeTestPattern(1024, 768), size.width, size.height);
    }
    double captureSeconds = monotonicSeconds() - captureStart;

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
    const double uploadStart = monotonicSeconds();
    const unsigned texture = createScreenTexture(capture, settings);
    captureSeconds += monotonicSeconds() - uploadStart;

    std::vector<double> presents;
    presents.reserve(static_cast<std::size_t>(options.seconds * 2000));
    double end = 0;
    while (stopRequested == 0) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawQuad();
        glXSwapBuffers(display, window);
        const double now = monotonicSeconds();
        if (presents.empty())
            end = now + options.seconds;
        presents.push_back(now);
        if (now >= end)
            break;
    }

    FrameSummary summary = summarizeFrames(presents);
    if (!presents.empty())
        summary.startupMs = 1000.0 * (startedAgo + presents.front() - mainEntered);
    summary.captureMs = 1000.0 * captureSeconds;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    summary.peakRssKib = static_cast<uint64_t>(usage.ru_maxrss); // KiB on Linux

    if (texture != 0)
        glDeleteTextures(1, &texture);
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XCloseDisplay(display);

    if (!options.statsFile.empty() && !writeStats(options.statsFile, summary))
        return 1;
    return 0;
}
