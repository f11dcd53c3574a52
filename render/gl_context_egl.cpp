// The render thread on Wayland with EGL.
//
// Provides: prepareEgl (the EGL display on the host's wl_display, desktop
// OpenGL bound, the configuration by pixelFormatScore, one context) and the
// thread that draws every output's scene into that output's own surface.
// Each surface is presented on its own, when its last frame has been shown
// (its frame callback came; not with --no-vsync) and, under --max-fps N or
// --no-vsync, when its next deadline has come; the swap never waits (swap
// interval 0), so an output that shows nothing (hidden, switched off) holds
// up neither the others nor the end of the run. An output that was not drawn for a while resumes its motion
// rather than leap, as after the X11 display-power pause.
// Limits: the surfaces keep the size they had when the thread started.
// Thread priority can only be lowered (nice).
#include "render/gl_context_egl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <wayland-egl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "render/egl_format.h"
#include "render/frame_rate_text.h"
#include "render/render_thread_posix.h"
#include "settings/failure_line.h"
#include "scene/frame_timer.h"
#include "settings/failure_line.h"

namespace kelvara {

class EglSetup {
  public:
    ~EglSetup() {
        if (context != EGL_NO_CONTEXT)
            eglDestroyContext(display, context);
        if (display != EGL_NO_DISPLAY)
            eglTerminate(display);
    }

    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
};

namespace {

// A surface not drawn for longer than this was dark: its motion resumes.
constexpr double kDarkMs = 1000.0;
// The longest wait for a frame callback before `renderRunning` is looked at again.
constexpr int kWaitSliceMs = 50;

const char* eglErrorName(EGLint error) {
    switch (error) {
    case EGL_SUCCESS: return "EGL_SUCCESS";
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS: return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT: return "EGL_BAD_CONTEXT";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_NATIVE_WINDOW: return "EGL_BAD_NATIVE_WINDOW";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE: return "EGL_BAD_SURFACE";
    case EGL_CONTEXT_LOST: return "EGL_CONTEXT_LOST";
    default: return "an unknown EGL error";
    }
}

EGLint configAttrib(EGLDisplay display, EGLConfig config, EGLint attribute) {
    EGLint value = 0;
    eglGetConfigAttrib(display, config, attribute, &value);
    return value;
}

EglConfigTraits traitsOf(EGLDisplay display, EGLConfig config) {
    EglConfigTraits t;
    t.openGl = (configAttrib(display, config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) != 0;
    t.window = (configAttrib(display, config, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) != 0;
    t.rgb = configAttrib(display, config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER;
    t.redBits = configAttrib(display, config, EGL_RED_SIZE);
    t.greenBits = configAttrib(display, config, EGL_GREEN_SIZE);
    t.blueBits = configAttrib(display, config, EGL_BLUE_SIZE);
    t.alphaBits = configAttrib(display, config, EGL_ALPHA_SIZE);
    t.depthBits = configAttrib(display, config, EGL_DEPTH_SIZE);
    const EGLint caveat = configAttrib(display, config, EGL_CONFIG_CAVEAT);
    t.slowCaveat = caveat == EGL_SLOW_CONFIG;
    t.nonConformantCaveat = caveat == EGL_NON_CONFORMANT_CONFIG;
    return t;
}

bool chooseConfig(EglSetup& setup) {
    EGLint count = 0;
    if (!eglGetConfigs(setup.display, nullptr, 0, &count) || count <= 0) {
        reportFailure("eglGetConfigs: no configurations; nothing to draw with");
        return false;
    }
    std::vector<EGLConfig> configs(static_cast<std::size_t>(count));
    eglGetConfigs(setup.display, configs.data(), count, &count);
    configs.resize(static_cast<std::size_t>(count));
    std::vector<EglConfigTraits> traits;
    bool anyOpenGl = false;
    for (EGLConfig config : configs) {
        traits.push_back(traitsOf(setup.display, config));
        anyOpenGl = anyOpenGl || traits.back().openGl;
    }
    const int best = bestEglConfig(traits);
    if (best == 0) {
        if (anyOpenGl)
            reportFailure(
                "eglGetConfigs: no RGB window configuration with desktop OpenGL; nothing to draw with");
        else
            reportFailure(
                "eglGetConfigs: the EGL driver offers only OpenGL ES; Kelvara draws with desktop OpenGL");
        return false;
    }
    setup.config = configs[static_cast<std::size_t>(best - 1)];
    return true;
}

// One output's surface as the thread draws it.
struct SurfacePane {
    wl_surface* wrapper = nullptr; // the host's surface, its frame callbacks on the thread's queue
    wl_egl_window* window = nullptr;
    EGLSurface egl = EGL_NO_SURFACE;
    wl_callback* callback = nullptr; // the frame callback awaited, or null
    const std::atomic<bool>* poweredOff = nullptr;
    double periodMs = 0.0; // > 0: --max-fps holds this surface below its refresh
    bool drawn = false;
    bool dark = false;
    double lastMs = 0.0;
    double nextDueMs = 0.0;
};

// How far apart a surface's frames are held by deadlines of its own, 0 for
// not at all. Waiting for frame callbacks (the retrace wait's counterpart)
// holds it to its output's refresh already: only a lower --max-fps needs
// deadlines. Without them (--no-vsync) frames are held to the refresh, or
// to --max-fps, by deadlines alone, and --max-fps 0 lets them run free.
double surfacePeriodMs(bool waitForFrames, int maxFps, double refreshHz) {
    const double refresh = refreshHz > 1.0 ? refreshHz : kFallbackRefreshHz;
    if (maxFps == 0)
        return 0.0;
    const double rate = maxFps > 0 ? maxFps : refresh;
    if (waitForFrames && rate >= refresh - 0.5)
        return 0.0;
    return 1000.0 / rate;
}

void frameDone(void* data, wl_callback* callback, uint32_t) {
    auto* pane = static_cast<SurfacePane*>(data);
    wl_callback_destroy(callback);
    if (pane->callback == callback)
        pane->callback = nullptr;
}

const wl_callback_listener kFrameListener = {frameDone};

class EglSurfaces final : public PaneSurfaces {
  public:
    EglSurfaces(wl_display* display, EglSetup& setup) : display_(display), setup_(setup) {
        queue_ = wl_display_create_queue(display);
    }
    ~EglSurfaces() override;

    // The surfaces of `panes`, each current once to turn its swap wait off.
    bool create(const std::vector<EglPane>& panes, bool waitForFrames, int maxFps);
    void showFrameRate() { frameRate_ = std::make_unique<FrameRateText>(); }

    PaneDue begin(std::size_t pane) override;
    void present(std::size_t pane) override;
    void wait() override;

  private:
    wl_display* display_;
    EglSetup& setup_;
    wl_event_queue* queue_ = nullptr;
    std::vector<SurfacePane> panes_;
    std::unique_ptr<FrameRateText> frameRate_;
    bool waitForFrames_ = true;
    bool complained_ = false;
};

EglSurfaces::~EglSurfaces() {
    eglMakeCurrent(setup_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    for (SurfacePane& pane : panes_) {
        if (pane.callback)
            wl_callback_destroy(pane.callback);
        if (pane.egl != EGL_NO_SURFACE)
            eglDestroySurface(setup_.display, pane.egl);
        if (pane.window)
            wl_egl_window_destroy(pane.window);
        if (pane.wrapper)
            wl_proxy_wrapper_destroy(pane.wrapper);
    }
    if (queue_)
        wl_event_queue_destroy(queue_);
}

bool EglSurfaces::create(const std::vector<EglPane>& panes, bool waitForFrames, int maxFps) {
    waitForFrames_ = waitForFrames;
    panes_.resize(panes.size());
    for (std::size_t i = 0; i < panes.size(); ++i) {
        SurfacePane& pane = panes_[i];
        pane.wrapper = static_cast<wl_surface*>(wl_proxy_create_wrapper(panes[i].surface));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(pane.wrapper), queue_);
        pane.poweredOff = panes[i].poweredOff;
        pane.periodMs = surfacePeriodMs(waitForFrames, maxFps, panes[i].refreshHz);
        pane.window = wl_egl_window_create(panes[i].surface, std::max(1, panes[i].width),
                                           std::max(1, panes[i].height));
        if (pane.window)
            pane.egl = eglCreateWindowSurface(setup_.display, setup_.config,
                                              reinterpret_cast<EGLNativeWindowType>(pane.window), nullptr);
        if (pane.egl == EGL_NO_SURFACE) {
            reportFailure("eglCreateWindowSurface: %s; nothing to draw with", eglErrorName(eglGetError()));
            return false;
        }
        if (!eglMakeCurrent(setup_.display, pane.egl, pane.egl, setup_.context)) {
            reportFailure("eglMakeCurrent: %s; nothing to draw with", eglErrorName(eglGetError()));
            return false;
        }
        eglSwapInterval(setup_.display, 0);
    }
    // The scene's state and textures are made with the first surface current.
    return !panes_.empty() && eglMakeCurrent(setup_.display, panes_[0].egl, panes_[0].egl, setup_.context);
}

PaneDue EglSurfaces::begin(std::size_t index) {
    if (index == 0)
        wl_display_dispatch_queue_pending(display_, queue_);
    SurfacePane& pane = panes_[index];
    const double now = platformNowMs();
    if (pane.poweredOff && pane.poweredOff->load()) {
        pane.dark = true;
        return PaneDue::Dark;
    }
    // A frame the compositor has not shown for this long: the output shows
    // nothing (hidden, off by other means), and the others go on without it.
    if (pane.callback)
        return pane.drawn && now - pane.lastMs > kDarkMs ? PaneDue::Dark : PaneDue::Wait;
    if (pane.periodMs > 0.0 && pane.drawn && now < pane.nextDueMs)
        return PaneDue::Wait;
    if (!eglMakeCurrent(setup_.display, pane.egl, pane.egl, setup_.context)) {
        if (!complained_)
            reportFailure("eglMakeCurrent: %s", eglErrorName(eglGetError()));
        complained_ = true;
        return PaneDue::Wait;
    }
    const bool afterDark = pane.dark || (pane.drawn && now - pane.lastMs > kDarkMs);
    pane.dark = false;
    return afterDark ? PaneDue::AfterDark : PaneDue::Now;
}

void EglSurfaces::present(std::size_t index) {
    SurfacePane& pane = panes_[index];
    if (index == 0 && frameRate_)
        frameRate_->draw();
    if (waitForFrames_) {
        pane.callback = wl_surface_frame(pane.wrapper);
        wl_callback_add_listener(pane.callback, &kFrameListener, &pane);
    }
    // Commits the surface, the frame request with it.
    eglSwapBuffers(setup_.display, pane.egl);
    const double now = platformNowMs();
    if (pane.periodMs > 0.0)
        pane.nextDueMs = (pane.drawn && now - pane.nextDueMs < pane.periodMs) ? pane.nextDueMs + pane.periodMs
                                                                                : now + pane.periodMs;
    pane.drawn = true;
    pane.lastMs = now;
}

void EglSurfaces::wait() {
    const double now = platformNowMs();
    double timeout = kWaitSliceMs;
    for (const SurfacePane& pane : panes_)
        if (!pane.callback && pane.periodMs > 0.0)
            timeout = std::min(timeout, std::max(0.0, pane.nextDueMs - now));
    if (!dispatchWithin(display_, queue_, static_cast<int>(timeout + 0.999)))
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitSliceMs)); // the host sees it and ends the run
}

void renderThreadBody(wl_display* display, EglSetup& setup, std::vector<EglPane>& panes, Settings& settings,
                      std::vector<MonitorDraw>& monitors, ThreadPriority threadPriority,
                      const RenderThreadOptions& options) {
    lowerThreadPriority(threadPriority);
    EglSurfaces surfaces(display, setup);
    if (panes.size() != monitors.size() || !surfaces.create(panes, options.waitForRetrace, options.maxFps)) {
        monitors.clear();
        giveUpDrawing(options);
        return;
    }
    if (options.showFrameRate)
        surfaces.showFrameRate();
    for (std::size_t i = 0; i < monitors.size(); ++i)
        monitors[i].viewport = ScreenRect{0, 0, panes[i].width, panes[i].height};
    RenderSurface surface;
    surface.width = panes[0].width;
    surface.height = panes[0].height;
    surface.panes = &surfaces;
    std::unique_ptr<DisplaySleepGate> sleepGate;
    if (options.displayPower)
        sleepGate = std::make_unique<DisplaySleepGate>(*options.displayPower, 1000.0);
    surface.sleepGate = sleepGate.get();
    runMonitorScenes(settings, monitors, surface, millisecondSeed(), renderRunning, options);
}

} // namespace

std::shared_ptr<EglSetup> prepareEgl(wl_display* display) {
    auto setup = std::make_shared<EglSetup>();
    setup->display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr);
    if (setup->display == EGL_NO_DISPLAY) {
        reportFailure("eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR): %s; nothing to draw with",
                      eglErrorName(eglGetError()));
        return nullptr;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(setup->display, &major, &minor)) {
        reportFailure("eglInitialize: %s; nothing to draw with", eglErrorName(eglGetError()));
        setup->display = EGL_NO_DISPLAY;
        return nullptr;
    }
    // The scene is fixed-function OpenGL: OpenGL ES cannot draw it.
    if (!eglBindAPI(EGL_OPENGL_API)) {
        reportFailure("eglBindAPI(EGL_OPENGL_API): the EGL driver offers only OpenGL ES; Kelvara "
                      "draws with desktop OpenGL");
        return nullptr;
    }
    if (!chooseConfig(*setup))
        return nullptr;
    setup->context = eglCreateContext(setup->display, setup->config, EGL_NO_CONTEXT, nullptr);
    if (setup->context == EGL_NO_CONTEXT) {
        reportFailure("eglCreateContext: %s; nothing to draw with", eglErrorName(eglGetError()));
        return nullptr;
    }
    return setup;
}

RenderThread* startEglRenderThread(wl_display* display, std::shared_ptr<EglSetup> setup,
                                   std::vector<EglPane> panes, const Settings& settings,
                                   std::vector<MonitorDraw> monitors, ThreadPriority threadPriority,
                                   const RenderThreadOptions& options) {
    return launchRenderThread([display, setup = std::move(setup), panes = std::move(panes), own = Settings(settings),
                               monitors = std::move(monitors), threadPriority, options]() mutable {
        renderThreadBody(display, *setup, panes, own, monitors, threadPriority, options);
    });
}

} // namespace kelvara
