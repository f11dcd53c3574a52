// The render thread on X11 with GLX.
//
// Provides: startRenderThread / joinRenderThread for an X window (an existing
// one of any client, the root included) with a context prepared for its
// visual (prepareGlx), and chooseFbConfig for the host that makes its own
// window.
// Limits: the thread opens a Display connection of its own, so Xlib must have
// been made thread-safe (XInitThreads) before the process's first Xlib call,
// and the process's X error handler must not exit (a window drawn into may be
// destroyed under the thread). The viewport is fixed at the window's size when
// the thread starts. Thread priority can only be lowered (nice), never raised.
// Frames are held to the refresh rate of the monitor under the window (RandR)
// where the retrace wait does not pace them, and not drawn while DPMS has the
// monitors asleep.
#include "render/gl_context_glx.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "display/display_x11.h"
#include "render/frame_rate_text.h"
#include "render/gl_config.h"
#include "render/render_host.h"
#include "render/render_thread_posix.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

int configAttrib(Display* display, GLXFBConfig config, int attribute) {
    int value = 0;
    glXGetFBConfigAttrib(display, config, attribute, &value);
    return value;
}

GlConfigTraits traitsOf(Display* display, GLXFBConfig config) {
    GlConfigTraits t;
    t.openGl = true;
    t.rgba = (configAttrib(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    t.drawsToWindow = (configAttrib(display, config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) != 0 &&
                      configAttrib(display, config, GLX_VISUAL_ID) != 0;
    t.doubleBuffered = configAttrib(display, config, GLX_DOUBLEBUFFER) != 0;
    t.redBits = configAttrib(display, config, GLX_RED_SIZE);
    t.greenBits = configAttrib(display, config, GLX_GREEN_SIZE);
    t.blueBits = configAttrib(display, config, GLX_BLUE_SIZE);
    // Alpha is left unread, so every configuration counts as opaque: on X11
    // the window's visual, not the configuration, decides whether a compositor
    // blends the window. (Choosing by alpha picked another configuration of
    // the same visual on Xvfb, and with it the render thread no longer ended
    // when XScreenSaver's window it drew into was destroyed.)
    t.depthBits = configAttrib(display, config, GLX_DEPTH_SIZE);
    const int caveat = configAttrib(display, config, GLX_CONFIG_CAVEAT);
    t.slowCaveat = caveat == GLX_SLOW_CONFIG;
    t.nonConformantCaveat = caveat == GLX_NON_CONFORMANT_CONFIG;
    return t;
}

bool hasExtension(const char* list, const char* name) {
    if (!list)
        return false;
    const std::size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    }
    return false;
}

// 1: wait for the retrace, 0: present at once. Whichever of the three swap
// control extensions the server offers; without any the driver's default holds.
void setSwapInterval(Display* display, int screen, GLXDrawable drawable, int interval) {
    const char* extensions = glXQueryExtensionsString(display, screen);
    auto proc = [](const char* name) { return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)); };
    if (hasExtension(extensions, "GLX_EXT_swap_control")) {
        using Fn = void (*)(Display*, GLXDrawable, int);
        if (auto fn = reinterpret_cast<Fn>(proc("glXSwapIntervalEXT"))) {
            fn(display, drawable, interval);
            return;
        }
    }
    if (hasExtension(extensions, "GLX_MESA_swap_control")) {
        using Fn = int (*)(unsigned);
        if (auto fn = reinterpret_cast<Fn>(proc("glXSwapIntervalMESA"))) {
            fn(static_cast<unsigned>(interval));
            return;
        }
    }
    // The SGI form refuses 0: it can only turn the wait on.
    if (interval > 0 && hasExtension(extensions, "GLX_SGI_swap_control")) {
        using Fn = int (*)(int);
        if (auto fn = reinterpret_cast<Fn>(proc("glXSwapIntervalSGI")))
            fn(interval);
    }
}

// Frames per second and frame time, in the window's lower left corner, drawn
// with the server's "fixed" font just before each swap. Keeps every GL state
// it touches, so the scene never sees it.
class FrameRateOverlay {
  public:
    bool load(Display* display) {
        XFontStruct* font = XLoadQueryFont(display, "fixed");
        if (!font) {
            reportFailure("XLoadQueryFont(\"fixed\"): no such font; no frame counter");
            return false;
        }
        listBase_ = glGenLists(kGlyphCount);
        if (listBase_ != 0)
            glXUseXFont(font->fid, kFirstGlyph, kGlyphCount, static_cast<int>(listBase_));
        lineHeight_ = font->ascent + font->descent;
        charWidth_ = font->max_bounds.width;
        XFreeFont(display, font);
        return listBase_ != 0;
    }

    void release() {
        if (listBase_ != 0)
            glDeleteLists(listBase_, kGlyphCount);
        listBase_ = 0;
    }

    // In the lower left corner of the viewport the loop left set: the primary
    // monitor's.
    void draw() {
        if (listBase_ == 0)
            return;
        const char* text = reading_.frame();
        beginCornerText();
        glRasterPos2i(8, 8 + lineHeight_ / 2);
        // Mesa's glyphs for blanks do not advance: a space moves the raster
        // position itself by the fixed font's cell width.
        for (const char* c = text; *c; ++c) {
            if (*c == ' ')
                glBitmap(0, 0, 0, 0, static_cast<GLfloat>(charWidth_), 0, nullptr);
            else
                glCallList(listBase_ + static_cast<GLuint>(*c - kFirstGlyph));
        }
        endCornerText();
    }

  private:
    static constexpr int kFirstGlyph = 32; // printable ASCII only
    static constexpr int kGlyphCount = 95;
    GLuint listBase_ = 0;
    int lineHeight_ = 0;
    int charWidth_ = 0;
    FrameRateReading reading_;
};

} // namespace

class PreparedContext {
  public:
    ~PreparedContext() {
        if (worker.joinable())
            worker.join();
        if (context)
            glXDestroyContext(display, context);
        if (display)
            XCloseDisplay(display);
    }

    void prepare(int screen, VisualID onlyVisual) {
        display = XOpenDisplay(nullptr);
        if (!display) {
            reportFailure("XOpenDisplay on the render thread: cannot open the display; nothing "
                          "to draw with");
            return;
        }
        GLXFBConfig config = nullptr;
        if (!chooseFbConfig(display, screen, onlyVisual, config)) {
            if (onlyVisual != 0)
                reportFailure("glXGetFBConfigs: no double-buffered RGBA configuration for visual 0x%lx; "
                              "nothing to draw with",
                              onlyVisual);
            else
                reportFailure("glXGetFBConfigs: no double-buffered RGBA configuration; nothing to draw with");
            return;
        }
        XVisualInfo* info = glXGetVisualFromFBConfig(display, config);
        if (!info) {
            reportFailure("glXGetVisualFromFBConfig: the configuration has no visual; nothing to draw with");
            return;
        }
        visual = info->visualid;
        depth = info->depth;
        XFree(info);
        context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
        if (!context)
            reportFailure("glXCreateNewContext: refused; nothing to draw with");
    }

    // Written by the worker only, read after it was joined.
    std::thread worker;
    Display* display = nullptr;
    GLXContext context = nullptr;
    VisualID visual = 0;
    int depth = 0;
};

namespace {

void renderThreadBody(Window window, PreparedContext& setup, Settings& settings,
                      std::vector<MonitorDraw>& monitors, ThreadPriority threadPriority,
                      RenderThreadOptions options) {
    lowerThreadPriority(threadPriority);
    VisualID visual = 0;
    int depth = 0;
    Display* display = nullptr;
    XWindowAttributes attributes;
    bool current = false;
    if (glxReady(setup, visual, depth)) {
        display = setup.display;
        if (!XGetWindowAttributes(display, window, &attributes))
            reportFailure("XGetWindowAttributes(0x%lx): no such window to draw into", window);
        else if (!(current = glXMakeCurrent(display, window, setup.context)))
            reportFailure("glXMakeCurrent: refused; nothing to draw with");
    }
    if (!current) {
        monitors.clear();
        giveUpDrawing(options);
        return;
    }

    setSwapInterval(display, XScreenNumberOfScreen(attributes.screen), window,
                    options.waitForRetrace ? 1 : 0);
    RenderSurface surface;
    surface.width = attributes.width;
    surface.height = attributes.height;
    FrameRateOverlay overlay;
    const bool showFrameRate = options.showFrameRate && overlay.load(display);
    surface.swap = [display, window, &overlay, showFrameRate] {
        if (showFrameRate)
            overlay.draw();
        glXSwapBuffers(display, window);
    };
    // Held to the refresh rate where the retrace wait does not pace, and kept
    // from drawing while the monitors sleep.
    FramePacer pacer(planPacing(options.maxFps, refreshRateHz(display, window), options.waitForRetrace));
    surface.pacer = &pacer;
    std::unique_ptr<DisplayPowerSource> dpms = options.displayPower ? nullptr : makeDpmsSource(display);
    DisplayPowerSource* power = options.displayPower ? options.displayPower : dpms.get();
    std::unique_ptr<DisplaySleepGate> sleepGate;
    if (power)
        sleepGate = std::make_unique<DisplaySleepGate>(*power, kDpmsCheckMs);
    surface.sleepGate = sleepGate.get();
    runMonitorScenes(settings, monitors, surface, millisecondSeed(), renderRunning, options);
    overlay.release();
    // The context and connection go with the setup, on whichever thread lets
    // go of it last; here it only stops being current.
    glXMakeCurrent(display, None, nullptr);
}

} // namespace

bool chooseFbConfig(Display* display, int screen, VisualID onlyVisual, GLXFBConfig& chosen) {
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(display, screen, &count);
    if (!configs)
        return false;
    // Configurations of other visuals stay in the list as unusable entries, so
    // the index bestGlConfig gives is the server's own order.
    std::vector<GlConfigTraits> traits;
    for (int i = 0; i < count; ++i) {
        traits.push_back(traitsOf(display, configs[i]));
        if (onlyVisual != 0 &&
            static_cast<VisualID>(configAttrib(display, configs[i], GLX_VISUAL_ID)) != onlyVisual)
            traits.back() = GlConfigTraits{};
    }
    const int best = bestGlConfig(traits);
    if (best > 0)
        chosen = configs[best - 1];
    XFree(configs);
    return best > 0;
}

std::shared_ptr<PreparedContext> prepareGlx(int screen, VisualID onlyVisual) {
    auto setup = std::make_shared<PreparedContext>();
    try {
        setup->worker =
            std::thread([raw = setup.get(), screen, onlyVisual] { raw->prepare(screen, onlyVisual); });
    } catch (const std::system_error&) {
        setup->prepare(screen, onlyVisual); // no thread to spare: at once, then
    }
    return setup;
}

bool glxReady(PreparedContext& setup, VisualID& visual, int& depth) {
    // Only one thread waits at a time: the host before the render thread starts,
    // or the render thread after.
    if (setup.worker.joinable())
        setup.worker.join();
    visual = setup.visual;
    depth = setup.depth;
    return setup.context != nullptr;
}

RenderThread* startRenderThread(const DrawTarget& target, const Settings& settings,
                                std::vector<MonitorDraw> monitors, ThreadPriority threadPriority,
                                const RenderThreadOptions& options) {
    if (!target.prepared)
        return nullptr; // nothing prepared, nothing to draw with
    // The thread draws from a record of its own: the host's copy stays the
    // host's to read and save.
    return launchRenderThread([window = target.window, setup = target.prepared, own = Settings(settings),
                               monitors = std::move(monitors), threadPriority, options]() mutable {
        renderThreadBody(static_cast<Window>(window), *setup, own, monitors, threadPriority, options);
    });
}

} // namespace kelvara
