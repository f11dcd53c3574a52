// The render thread on Wayland with EGL.
//
// Provides: prepareEgl (the EGL display on the host's wl_display, desktop
// OpenGL bound, the configuration by pixelFormatScore, one context) and the
// thread that draws every output's scene into that output's own surface.
// Each surface is paced on its own by a SurfacePacer (frame_pacer.h): drawn
// one frame ahead and presented once the compositor showed the last frame
// (its frame callback came; not with --no-vsync) and the pacing plan's
// deadline has passed. The swap never waits (swap interval 0), so an output
// that shows nothing (hidden, switched off) holds up neither the others nor
// the end of the run.
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

#include "render/frame_pacer.h"
#include "render/frame_rate_text.h"
#include "render/gl_config.h"
#include "render/render_thread_posix.h"
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

// The longest wait for a frame callback before `renderRunning` is looked at again.
constexpr int kWaitSliceMs = 50;

const char* eglErrorName(EGLint error) {
    switch (error) {
    case EGL_SUCCESS:
        return "EGL_SUCCESS";
    case EGL_NOT_INITIALIZED:
        return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS:
        return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC:
        return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE:
        return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG:
        return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT:
        return "EGL_BAD_CONTEXT";
    case EGL_BAD_DISPLAY:
        return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH:
        return "EGL_BAD_MATCH";
    case EGL_BAD_NATIVE_WINDOW:
        return "EGL_BAD_NATIVE_WINDOW";
    case EGL_BAD_PARAMETER:
        return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE:
        return "EGL_BAD_SURFACE";
    case EGL_CONTEXT_LOST:
        return "EGL_CONTEXT_LOST";
    default:
        return "an unknown EGL error";
    }
}

EGLint configAttrib(EGLDisplay display, EGLConfig config, EGLint attribute) {
    EGLint value = 0;
    eglGetConfigAttrib(display, config, attribute, &value);
    return value;
}

GlConfigTraits traitsOf(EGLDisplay display, EGLConfig config) {
    GlConfigTraits t;
    t.openGl = (configAttrib(display, config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) != 0;
    t.drawsToWindow = (configAttrib(display, config, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) != 0;
    t.rgba = configAttrib(display, config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER;
    t.doubleBuffered = true;
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
    std::vector<GlConfigTraits> traits;
    bool anyOpenGl = false;
    for (EGLConfig config : configs) {
        traits.push_back(traitsOf(setup.display, config));
        anyOpenGl = anyOpenGl || traits.back().openGl;
    }
    const int best = bestGlConfig(traits);
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
    explicit SurfacePane(const SurfacePacer& pacer) : pacer(pacer) {}

    wl_surface* wrapper = nullptr; // the host's surface, its frame callbacks on the thread's queue
    wl_egl_window* window = nullptr;
    EGLSurface egl = EGL_NO_SURFACE;
    wl_callback* callback = nullptr; // the frame callback awaited, or null
    const std::atomic<bool>* poweredOff = nullptr;
    SurfacePacer pacer;
};

void frameDone(void* data, wl_callback* callback, uint32_t) {
    auto* pane = static_cast<SurfacePane*>(data);
    wl_callback_destroy(callback);
    if (pane->callback == callback) {
        pane->callback = nullptr;
        pane->pacer.callbackDone();
    }
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
    bool makeCurrent(SurfacePane& pane);
    void swap(SurfacePane& pane, double now);

    wl_display* display_;
    EglSetup& setup_;
    wl_event_queue* queue_ = nullptr;
    // Their addresses go to the frame listener: never moved once made.
    std::vector<std::unique_ptr<SurfacePane>> panes_;
    std::unique_ptr<FrameRateText> frameRate_;
    bool waitForFrames_ = true;
    bool complained_ = false;
};

EglSurfaces::~EglSurfaces() {
    eglMakeCurrent(setup_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    for (const auto& pane : panes_) {
        if (pane->callback)
            wl_callback_destroy(pane->callback);
        if (pane->egl != EGL_NO_SURFACE)
            eglDestroySurface(setup_.display, pane->egl);
        if (pane->window)
            wl_egl_window_destroy(pane->window);
        if (pane->wrapper)
            wl_proxy_wrapper_destroy(pane->wrapper);
    }
    if (queue_)
        wl_event_queue_destroy(queue_);
}

bool EglSurfaces::create(const std::vector<EglPane>& panes, bool waitForFrames, int maxFps) {
    waitForFrames_ = waitForFrames;
    for (const EglPane& from : panes) {
        panes_.push_back(std::make_unique<SurfacePane>(
            SurfacePacer(planPacing(maxFps, from.refreshHz, waitForFrames), waitForFrames)));
        SurfacePane& pane = *panes_.back();
        pane.wrapper = static_cast<wl_surface*>(wl_proxy_create_wrapper(from.surface));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(pane.wrapper), queue_);
        pane.poweredOff = from.poweredOff;
        pane.window = wl_egl_window_create(from.surface, std::max(1, from.width), std::max(1, from.height));
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
    return !panes_.empty() && eglMakeCurrent(setup_.display, panes_[0]->egl, panes_[0]->egl, setup_.context);
}

bool EglSurfaces::makeCurrent(SurfacePane& pane) {
    if (eglMakeCurrent(setup_.display, pane.egl, pane.egl, setup_.context))
        return true;
    if (!complained_)
        reportFailure("eglMakeCurrent: %s", eglErrorName(eglGetError()));
    complained_ = true;
    return false;
}

void EglSurfaces::swap(SurfacePane& pane, double now) {
    if (waitForFrames_) {
        pane.callback = wl_surface_frame(pane.wrapper);
        wl_callback_add_listener(pane.callback, &kFrameListener, &pane);
    }
    // Commits the surface, the frame request with it.
    eglSwapBuffers(setup_.display, pane.egl);
    pane.pacer.presented(now);
}

PaneDue EglSurfaces::begin(std::size_t index) {
    if (index == 0)
        wl_display_dispatch_queue_pending(display_, queue_);
    SurfacePane& pane = *panes_[index];
    const double now = platformNowMs();
    // The frame drawn ahead goes first, the surface then current for the next.
    if (pane.pacer.presentDue(now)) {
        if (!makeCurrent(pane))
            return PaneDue::Wait;
        swap(pane, now);
    }
    const PaneDue due = pane.pacer.due(now, pane.poweredOff && pane.poweredOff->load());
    if ((due == PaneDue::Now || due == PaneDue::AfterDark) && !makeCurrent(pane))
        return PaneDue::Wait;
    return due;
}

void EglSurfaces::present(std::size_t index) {
    SurfacePane& pane = *panes_[index];
    if (index == 0 && frameRate_)
        frameRate_->draw();
    pane.pacer.drawn();
    const double now = platformNowMs();
    if (pane.pacer.presentDue(now))
        swap(pane, now);
}

void EglSurfaces::wait() {
    const double now = platformNowMs();
    double timeout = kWaitSliceMs;
    for (const auto& pane : panes_)
        timeout = std::min(timeout, std::max(0.0, pane->pacer.wakeMs() - now));
    // A broken connection: the host sees it too and ends the run.
    if (!dispatchWithin(display_, queue_, static_cast<int>(timeout + 0.999)))
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitSliceMs));
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
    return launchRenderThread([display, setup = std::move(setup), panes = std::move(panes),
                               own = Settings(settings), monitors = std::move(monitors), threadPriority,
                               options]() mutable {
        renderThreadBody(display, *setup, panes, own, monitors, threadPriority, options);
    });
}

} // namespace kelvara
