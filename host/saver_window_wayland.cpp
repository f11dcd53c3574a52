// The saver on Wayland: the platform under a SaverSession.
//
// Provides: runWaylandSaver (--wayland, and a plain run where the compositor
// can be covered) and waylandCanCover for that choice. One surface per output:
// an OVERLAY layer-shell surface (anchored to every edge, no exclusive zone,
// the keyboard exclusively ours) where the compositor has layer-shell
// (wlroots, KDE), else a full-screen xdg_toplevel on that output (GNOME);
// drawn at the output's buffer scale; each output's own picture from
// screencopy, taken before any surface shows; one EGL context for all
// surfaces on the render thread. Keyboard and pointer are asked for only once
// the seat offers them. A key, a button, the wheel or the pointer moving (the
// mouse rule) ends the run, as do SIGTERM, SIGINT and SIGHUP, an output that
// comes or goes, a surface the compositor closes, and the compositor going
// away; a protocol error on the saver's objects is named and fails the run.
// One run per Wayland display: a second one ends at once with 0 (a lock in
// XDG_RUNTIME_DIR the first holds tells it).
// Limits: an overlay, not a lock: the compositor's own key bindings still
// work, and locking is the user's locker's business. No idle inhibitor: the
// user's idle daemon starts the run. Display modes are never switched
// (resW/resH/resC are ignored with one line). A toplevel is a window: the
// compositor may put another window over it. Without screencopy (KDE, GNOME)
// the logo is shown.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_wayland.h"
#include "display/connection_wayland.h"
#include "display/output_views.h"
#include "host/end_signal_posix.h"
#include "host/run_lock_posix.h"
#include "host/saver_host.h"
#include "host/saver_session.h"
#include "host/session_rules.h"
#include "host/session_run_posix.h"
#include "render/gl_context_egl.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

// How long the compositor may take to give every surface its size.
constexpr int kConfigureTimeoutMs = 3000;

// Covers every output; a client cannot switch an output's mode, so the
// platform offers no display modes and the settings' mode is only noted.
SessionConfig sessionConfig(const SaverOptions& options) {
    SessionConfig config = posixSessionConfig(options);
    config.preview = false;
    return config;
}

// One output's surface: a layer surface, or a full-screen toplevel.
struct OutputSurface {
    WaylandOutput* output = nullptr;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    int32_t width = 0; // logical, as configured
    int32_t height = 0;
    bool configured = false;
    bool closed = false;
};

class WaylandSaver final : public PosixSaverPlatform {
  public:
    explicit WaylandSaver(const SaverOptions& options) : options_(options) {}
    ~WaylandSaver() override;

    // The display's lock, the compositor, layer-shell, EGL and the signals;
    // false (the reason on stderr) when the run cannot start.
    bool open();
    // Events until input, a signal, a limit or the compositor ends the run.
    void pumpEvents(const SaverSession& session);

    std::vector<MonitorView> monitors() override { return outputViews(outputGeometries(*connection_)); }
    CaptureOutcome captureMonitors(const std::vector<MonitorView>& monitors, const Settings& settings,
                                   bool preview, std::vector<CaptureBuffer>& pictures) override;
    void showWindow(bool switched) override;
    bool startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                      ThreadPriority threadPriority, const RenderThreadOptions& options) override;
    bool stopDrawing(unsigned timeoutMs) override;

    // Input.
    void seatChanged(uint32_t capabilities);
    void end() { ended_ = true; }
    void pointerAt(uint32_t serial, wl_fixed_t x, wl_fixed_t y);
    void pointerMoved(wl_fixed_t x, wl_fixed_t y);

  private:
    void noteDisplayMode(const Settings& settings);
    bool surfacesLost() const;
    void coverWithLayer(OutputSurface& s);
    void coverWithToplevel(OutputSurface& s);
    void connectionBroke();

    const SaverOptions& options_;
    RunLock runLock_;
    std::unique_ptr<WaylandConnection> connection_;
    std::shared_ptr<EglSetup> egl_;
    std::vector<std::unique_ptr<OutputSurface>> surfaces_;
    wl_keyboard* keyboard_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    MouseMoveCounter mouse_;
    RenderThread* thread_ = nullptr;
    bool ended_ = false;
    bool modeNoted_ = false;
};

// ---- input -----------------------------------------------------------------

void keymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) {
    close(fd);
}
void keyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
// Only a press: the release of the key that started the run is not input.
void key(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
        static_cast<WaylandSaver*>(data)->end();
}
void modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener kKeyboardListener = {keymap, keyboardEnter, keyboardLeave,
                                                key,    modifiers,     repeatInfo};

void pointerEnter(void* data, wl_pointer*, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
    static_cast<WaylandSaver*>(data)->pointerAt(serial, x, y);
}
void pointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void pointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    static_cast<WaylandSaver*>(data)->pointerMoved(x, y);
}
void pointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_POINTER_BUTTON_STATE_PRESSED)
        static_cast<WaylandSaver*>(data)->end();
}
void pointerAxis(void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {
    static_cast<WaylandSaver*>(data)->end();
}
void pointerFrame(void*, wl_pointer*) {}
void pointerAxisSource(void*, wl_pointer*, uint32_t) {}
void pointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void pointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

// Named: newer libwayland headers list events of versions the seat is not bound at.
const wl_pointer_listener kPointerListener = {
    .enter = pointerEnter,
    .leave = pointerLeave,
    .motion = pointerMotion,
    .button = pointerButton,
    .axis = pointerAxis,
    .frame = pointerFrame,
    .axis_source = pointerAxisSource,
    .axis_stop = pointerAxisStop,
    .axis_discrete = pointerAxisDiscrete,
#ifdef WL_POINTER_AXIS_VALUE120_SINCE_VERSION
    .axis_value120 = nullptr,
#endif
};

void onSeatChanged(void* data, uint32_t capabilities) {
    static_cast<WaylandSaver*>(data)->seatChanged(capabilities);
}

void WaylandSaver::seatChanged(uint32_t capabilities) {
    const bool keys = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    const bool pointing = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (keys && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(connection_->seat);
        wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
    } else if (!keys && keyboard_) {
        wl_keyboard_release(keyboard_);
        keyboard_ = nullptr;
    }
    if (pointing && !pointer_) {
        pointer_ = wl_seat_get_pointer(connection_->seat);
        wl_pointer_add_listener(pointer_, &kPointerListener, this);
    } else if (!pointing && pointer_) {
        wl_pointer_release(pointer_);
        pointer_ = nullptr;
        mouse_ = MouseMoveCounter{};
    }
}

// Where the pointer rests when it comes onto a surface: not a move. The
// cursor is hidden over the saver.
void WaylandSaver::pointerAt(uint32_t serial, wl_fixed_t x, wl_fixed_t y) {
    wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);
    mouse_.seen = true;
    mouse_.x = wl_fixed_to_int(x);
    mouse_.y = wl_fixed_to_int(y);
}

void WaylandSaver::pointerMoved(wl_fixed_t x, wl_fixed_t y) {
    if (countMouseMove(mouse_, wl_fixed_to_int(x), wl_fixed_to_int(y)))
        end();
}

// ---- layer surfaces ----------------------------------------------------------

void layerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                    uint32_t height) {
    auto* s = static_cast<OutputSurface*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    s->width = static_cast<int32_t>(width);
    s->height = static_cast<int32_t>(height);
    s->configured = true;
}

void layerClosed(void* data, zwlr_layer_surface_v1*) {
    static_cast<OutputSurface*>(data)->closed = true;
}

const zwlr_layer_surface_v1_listener kLayerListener = {layerConfigure, layerClosed};

// ---- full-screen toplevels ---------------------------------------------------

// The size comes first, the xdg_surface's configure closes the set: acked
// there, before any buffer is attached.
void toplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    auto* s = static_cast<OutputSurface*>(data);
    s->width = width;
    s->height = height;
}

void toplevelClose(void* data, xdg_toplevel*) {
    static_cast<OutputSurface*>(data)->closed = true;
}

// Named: newer headers list events of versions the base is not bound at.
const xdg_toplevel_listener kToplevelListener = {
    .configure = toplevelConfigure,
    .close = toplevelClose,
#ifdef XDG_TOPLEVEL_CONFIGURE_BOUNDS_SINCE_VERSION
    .configure_bounds = nullptr,
#endif
#ifdef XDG_TOPLEVEL_WM_CAPABILITIES_SINCE_VERSION
    .wm_capabilities = nullptr,
#endif
};

void xdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<OutputSurface*>(data)->configured = true;
}

const xdg_surface_listener kXdgSurfaceListener = {xdgSurfaceConfigure};

WaylandSaver::~WaylandSaver() {
    if (!connection_)
        return;
    for (const auto& s : surfaces_) {
        if (s->layer)
            zwlr_layer_surface_v1_destroy(s->layer);
        if (s->toplevel)
            xdg_toplevel_destroy(s->toplevel);
        if (s->xdgSurface)
            xdg_surface_destroy(s->xdgSurface);
        wl_surface_destroy(s->surface);
    }
    if (keyboard_)
        wl_keyboard_release(keyboard_);
    if (pointer_)
        wl_pointer_release(pointer_);
    wl_display_flush(connection_->display);
    egl_.reset();
    disconnectWayland(connection_);
}

bool WaylandSaver::open() {
    const std::string lock =
        waylandRunLockPath(std::getenv("XDG_RUNTIME_DIR"), std::getenv("WAYLAND_DISPLAY"));
    if (!lock.empty() && runLock_.claim(lock) == RunLock::Claim::HeldElsewhere) {
        reportFailure("another kelvara covers this Wayland display already; this run ends");
        anotherRuns_ = true;
        return false;
    }
    if (!installEndSignals())
        reportFailure("pipe: %s; signals end the run abruptly", std::strerror(errno));
    connection_ = connectWayland();
    if (!connection_)
        return false;
    if (!connection_->layerShell && !connection_->wmBase) {
        reportFailure("the compositor offers neither zwlr_layer_shell_v1 (layer-shell) nor xdg_wm_base "
                      "(xdg-shell), one of which Kelvara needs to cover the outputs");
        return false;
    }
    if (!connection_->compositor || connection_->outputs.empty()) {
        reportFailure("the compositor offers %s; nothing to draw on",
                      connection_->compositor ? "no outputs" : "no wl_compositor");
        return false;
    }
    egl_ = prepareEgl(connection_->display);
    if (!egl_)
        return false;
    connection_->seatChanged = onSeatChanged;
    connection_->seatData = this;
    if (connection_->seat)
        seatChanged(connection_->seatCapabilities);
    return true;
}

void WaylandSaver::noteDisplayMode(const Settings& settings) {
    if (modeNoted_ || !wantsDisplaySwitch(settings))
        return;
    modeNoted_ = true;
    report("resW/resH/resC: a Wayland client cannot switch display modes; the outputs keep theirs");
}

CaptureOutcome WaylandSaver::captureMonitors(const std::vector<MonitorView>&, const Settings& settings,
                                             bool preview, std::vector<CaptureBuffer>& pictures) {
    noteDisplayMode(settings);
    return captureOutputs(*connection_, settings, preview, pictures);
}

void WaylandSaver::coverWithLayer(OutputSurface& s) {
    s.layer = zwlr_layer_shell_v1_get_layer_surface(connection_->layerShell, s.surface, s.output->output,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "kelvara");
    zwlr_layer_surface_v1_add_listener(s.layer, &kLayerListener, &s);
    zwlr_layer_surface_v1_set_anchor(
        s.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                     ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(s.layer, 0, 0);
    zwlr_layer_surface_v1_set_exclusive_zone(s.layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(s.layer,
                                                     ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
}

// Where there is no layer-shell (GNOME): a window of its own, full screen on
// its output. Without a decoration protocol bound the compositor draws none.
void WaylandSaver::coverWithToplevel(OutputSurface& s) {
    s.xdgSurface = xdg_wm_base_get_xdg_surface(connection_->wmBase, s.surface);
    xdg_surface_add_listener(s.xdgSurface, &kXdgSurfaceListener, &s);
    s.toplevel = xdg_surface_get_toplevel(s.xdgSurface);
    xdg_toplevel_add_listener(s.toplevel, &kToplevelListener, &s);
    xdg_toplevel_set_app_id(s.toplevel, "kelvara");
    xdg_toplevel_set_title(s.toplevel, "Kelvara");
    xdg_toplevel_set_fullscreen(s.toplevel, s.output->output);
}

void WaylandSaver::showWindow(bool) {
    WaylandConnection& c = *connection_;
    for (const auto& output : c.outputs) {
        auto s = std::make_unique<OutputSurface>();
        s->output = output.get();
        s->surface = wl_compositor_create_surface(c.compositor);
        if (c.layerShell)
            coverWithLayer(*s);
        else
            coverWithToplevel(*s);
        if (wl_surface_get_version(s->surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION)
            wl_surface_set_buffer_scale(s->surface, std::max(1, output->geometry.scale));
        // Whatever the configuration's alpha, nothing below shows through.
        wl_region* opaque = wl_compositor_create_region(c.compositor);
        wl_region_add(opaque, 0, 0, INT32_MAX, INT32_MAX);
        wl_surface_set_opaque_region(s->surface, opaque);
        wl_region_destroy(opaque);
        wl_surface_commit(s->surface);
        surfaces_.push_back(std::move(s));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConfigureTimeoutMs);
    const auto allConfigured = [this] {
        for (const auto& s : surfaces_)
            if (!s->configured && !s->closed)
                return false;
        return true;
    };
    // A broken connection is told by the event loop, which then ends the run.
    while (!allConfigured() && std::chrono::steady_clock::now() < deadline)
        if (!dispatchWithin(c.display, nullptr, 100))
            break;
}

bool WaylandSaver::startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                                ThreadPriority threadPriority, const RenderThreadOptions& options) {
    noteDisplayMode(settings);
    if (!egl_ || monitors.size() != surfaces_.size())
        return false;
    std::vector<EglPane> panes;
    for (const auto& s : surfaces_) {
        const OutputGeometry& g = s->output->geometry;
        EglPane pane;
        pane.surface = s->surface;
        const int32_t scale = std::max(1, g.scale);
        if (s->configured && s->width > 0 && s->height > 0) {
            pane.width = s->width * scale;
            pane.height = s->height * scale;
        } else {
            outputBufferSize(g, pane.width, pane.height);
        }
        pane.refreshHz = g.refreshMilliHz / 1000.0;
        pane.poweredOff = &s->output->poweredOff;
        panes.push_back(pane);
    }
    thread_ = startEglRenderThread(connection_->display, std::move(egl_), std::move(panes), settings,
                                   std::move(monitors), threadPriority, options);
    return thread_ != nullptr;
}

bool WaylandSaver::stopDrawing(unsigned timeoutMs) {
    const bool stopped = joinRenderThread(thread_, timeoutMs);
    thread_ = nullptr;
    return stopped;
}

bool WaylandSaver::surfacesLost() const {
    for (const auto& s : surfaces_)
        if (s->closed)
            return true;
    return false;
}

// One line whatever broke it; a protocol error (the saver's own fault) fails
// the run, a compositor that went away ends it as its window going would.
void WaylandSaver::connectionBroke() {
    const ConnectionFault fault = connectionFault(connection_->display);
    failed_ = fault.protocolError;
    report(fault.line);
}

void WaylandSaver::pumpEvents(const SaverSession& session) {
    wl_display* display = connection_->display;
    for (;;) {
        if (ended_ || surfacesLost() || connection_->outputsChanged || session.endRequested())
            return;
        if (wl_display_get_error(display) != 0)
            return connectionBroke();
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0)
                return connectionBroke();
        wl_display_flush(display);
        pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {endSignalFd(), POLLIN, 0}};
        const int ready = poll(fds, endSignalFd() >= 0 ? 2 : 1, 500);
        bool broken = false;
        if (ready > 0 && (fds[0].revents & POLLIN) != 0)
            broken = wl_display_read_events(display) < 0;
        else
            wl_display_cancel_read(display);
        if (ready > 0 && (fds[1].revents & POLLIN) != 0)
            return;
        if (broken || wl_display_dispatch_pending(display) < 0 || wl_display_get_error(display) != 0 ||
            (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0))
            return connectionBroke();
    }
}

} // namespace

bool waylandCanCover() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        return false;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    bool offered = false;
    wl_registry* registry = wl_display_get_registry(display);
    const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 ||
                std::strcmp(interface, xdg_wm_base_interface.name) == 0)
                *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(registry, &listener, &offered);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return offered;
}

int runWaylandSaver(const SaverOptions& options, SettingsStore& store) {
    return runPosixHost<WaylandSaver>(options, store, sessionConfig(options));
}

} // namespace kelvara
