// The Wayland connection and its outputs.
//
// Provides: connectWayland (the registry's globals the saver uses, each
// output's mode, scale, transform and xdg-output layout, its output-power
// state, xdg_wm_base's pings answered), outputGeometries, connectionFault and
// dispatchWithin.
// Limits: one seat (the first listed); globals other than outputs that come
// later are not bound.
#include "display/connection_wayland.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/failure_line.h"

namespace kelvara {

namespace {

uint32_t boundVersion(uint32_t offered, uint32_t wanted) {
    return std::min(offered, wanted);
}

template <typename T>
T* bindGlobal(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t version) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, version));
}

// ---- wl_output -----------------------------------------------------------

void outputGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t transform) {
    static_cast<WaylandOutput*>(data)->geometry.transform = transform;
}

void outputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t refresh) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0)
        return;
    OutputGeometry& g = static_cast<WaylandOutput*>(data)->geometry;
    g.modeWidth = width;
    g.modeHeight = height;
    g.refreshMilliHz = refresh;
}

void outputDone(void*, wl_output*) {}

void outputScale(void* data, wl_output*, int32_t factor) {
    static_cast<WaylandOutput*>(data)->geometry.scale = std::max(1, factor);
}

void outputName(void* data, wl_output*, const char* name) {
    OutputGeometry& g = static_cast<WaylandOutput*>(data)->geometry;
    if (g.name.empty() && name)
        g.name = name;
}

void outputDescription(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputName, outputDescription};

// ---- xdg-output ----------------------------------------------------------

void xdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    ScreenRect& r = static_cast<WaylandOutput*>(data)->geometry.logical;
    r.x = x;
    r.y = y;
}

void xdgSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    ScreenRect& r = static_cast<WaylandOutput*>(data)->geometry.logical;
    r.width = width;
    r.height = height;
}

void xdgDone(void*, zxdg_output_v1*) {}

// The xdg-output name is the one the compositor's own tools use.
void xdgName(void* data, zxdg_output_v1*, const char* name) {
    if (name)
        static_cast<WaylandOutput*>(data)->geometry.name = name;
}

void xdgDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener kXdgOutputListener = {xdgPosition, xdgSize, xdgDone, xdgName, xdgDescription};

// ---- output power ----------------------------------------------------------

void powerMode(void* data, zwlr_output_power_v1*, uint32_t mode) {
    static_cast<WaylandOutput*>(data)->poweredOff.store(mode == ZWLR_OUTPUT_POWER_V1_MODE_OFF);
}

// Another client controls the output's power, or it is gone: nothing to watch.
void powerFailed(void* data, zwlr_output_power_v1*) {
    auto* output = static_cast<WaylandOutput*>(data);
    output->poweredOff.store(false);
    zwlr_output_power_v1_destroy(output->power);
    output->power = nullptr;
}

const zwlr_output_power_v1_listener kPowerListener = {powerMode, powerFailed};

void watchOutput(WaylandConnection& c, WaylandOutput& output) {
    if (c.xdgOutputManager && !output.xdgOutput) {
        output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(c.xdgOutputManager, output.output);
        zxdg_output_v1_add_listener(output.xdgOutput, &kXdgOutputListener, &output);
    }
    if (c.outputPower && !output.power) {
        output.power = zwlr_output_power_manager_v1_get_output_power(c.outputPower, output.output);
        zwlr_output_power_v1_add_listener(output.power, &kPowerListener, &output);
    }
}

// ---- seat ------------------------------------------------------------------

void seatCapabilities(void* data, wl_seat*, uint32_t capabilities) {
    auto* c = static_cast<WaylandConnection*>(data);
    c->seatCapabilities = capabilities;
    if (c->seatChanged)
        c->seatChanged(c->seatData, capabilities);
}

void seatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {seatCapabilities, seatName};

// ---- xdg_wm_base ------------------------------------------------------------

// Unanswered pings make the compositor call the saver hung and offer to kill it.
void wmBasePing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {wmBasePing};

// ---- registry --------------------------------------------------------------

void addOutput(WaylandConnection& c, uint32_t name, uint32_t version) {
    if (c.listed) {
        c.outputsChanged = true;
        return;
    }
    auto output = std::make_unique<WaylandOutput>();
    output->globalName = name;
    output->output = bindGlobal<wl_output>(c.registry, name, &wl_output_interface, boundVersion(version, 4));
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    watchOutput(c, *output);
    c.outputs.push_back(std::move(output));
}

void registryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                    uint32_t version) {
    auto* c = static_cast<WaylandConnection*>(data);
    const auto is = [interface](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
    if (is(wl_output_interface)) {
        addOutput(*c, name, version);
    } else if (is(wl_compositor_interface) && !c->compositor) {
        c->compositor =
            bindGlobal<wl_compositor>(registry, name, &wl_compositor_interface, boundVersion(version, 4));
    } else if (is(wl_shm_interface) && !c->shm) {
        c->shm = bindGlobal<wl_shm>(registry, name, &wl_shm_interface, 1);
    } else if (is(wl_seat_interface) && !c->seat) {
        c->seat = bindGlobal<wl_seat>(registry, name, &wl_seat_interface, boundVersion(version, 5));
        wl_seat_add_listener(c->seat, &kSeatListener, c);
    } else if (is(zwlr_layer_shell_v1_interface) && !c->layerShell) {
        c->layerShell = bindGlobal<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface,
                                                        boundVersion(version, 4));
    } else if (is(xdg_wm_base_interface) && !c->wmBase) {
        c->wmBase = bindGlobal<xdg_wm_base>(registry, name, &xdg_wm_base_interface, boundVersion(version, 2));
        xdg_wm_base_add_listener(c->wmBase, &kWmBaseListener, c);
    } else if (is(zwlr_screencopy_manager_v1_interface) && !c->screencopy) {
        c->screencopyVersion = boundVersion(version, 3);
        c->screencopy = bindGlobal<zwlr_screencopy_manager_v1>(
            registry, name, &zwlr_screencopy_manager_v1_interface, c->screencopyVersion);
    } else if (is(zxdg_output_manager_v1_interface) && !c->xdgOutputManager) {
        c->xdgOutputManager = bindGlobal<zxdg_output_manager_v1>(
            registry, name, &zxdg_output_manager_v1_interface, boundVersion(version, 3));
    } else if (is(zwlr_output_power_manager_v1_interface) && !c->outputPower) {
        c->outputPower = bindGlobal<zwlr_output_power_manager_v1>(registry, name,
                                                                  &zwlr_output_power_manager_v1_interface, 1);
    }
}

void registryRemove(void* data, wl_registry*, uint32_t name) {
    auto* c = static_cast<WaylandConnection*>(data);
    for (const auto& output : c->outputs)
        if (output->globalName == name)
            c->outputsChanged = true;
}

const wl_registry_listener kRegistryListener = {registryGlobal, registryRemove};

} // namespace

std::unique_ptr<WaylandConnection> connectWayland() {
    auto c = std::make_unique<WaylandConnection>();
    c->display = wl_display_connect(nullptr);
    if (!c->display) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        reportFailure("wl_display_connect(\"%s\"): no Wayland compositor to connect to",
                      name ? name : "wayland-0");
        return nullptr;
    }
    c->registry = wl_display_get_registry(c->display);
    wl_registry_add_listener(c->registry, &kRegistryListener, c.get());
    // The globals; then the outputs' own events and the objects bound for
    // them (the managers may be listed after the outputs); then theirs.
    const auto roundtrip = [&c] { return wl_display_roundtrip(c->display) >= 0; };
    bool connected = roundtrip();
    if (connected) {
        for (const auto& output : c->outputs)
            watchOutput(*c, *output);
        connected = roundtrip() && roundtrip();
    }
    if (!connected) {
        reportFailure("%s", connectionFault(c->display).line.c_str());
        disconnectWayland(c);
        return nullptr;
    }
    c->listed = true;
    return c;
}

void disconnectWayland(std::unique_ptr<WaylandConnection>& c) {
    if (!c)
        return;
    for (const auto& output : c->outputs) {
        if (output->power)
            zwlr_output_power_v1_destroy(output->power);
        if (output->xdgOutput)
            zxdg_output_v1_destroy(output->xdgOutput);
        wl_output_destroy(output->output);
    }
    c->outputs.clear();
    if (c->outputPower)
        zwlr_output_power_manager_v1_destroy(c->outputPower);
    if (c->xdgOutputManager)
        zxdg_output_manager_v1_destroy(c->xdgOutputManager);
    if (c->screencopy)
        zwlr_screencopy_manager_v1_destroy(c->screencopy);
    if (c->layerShell)
        zwlr_layer_shell_v1_destroy(c->layerShell);
    if (c->wmBase)
        xdg_wm_base_destroy(c->wmBase);
    if (c->seat)
        wl_seat_destroy(c->seat);
    if (c->shm)
        wl_shm_destroy(c->shm);
    if (c->compositor)
        wl_compositor_destroy(c->compositor);
    wl_registry_destroy(c->registry);
    wl_display_disconnect(c->display);
    c.reset();
}

std::vector<OutputGeometry> outputGeometries(const WaylandConnection& c) {
    std::vector<OutputGeometry> geometries;
    for (const auto& output : c.outputs)
        geometries.push_back(output->geometry);
    return geometries;
}

ConnectionFault connectionFault(wl_display* display) {
    ConnectionFault fault;
    const int error = wl_display_get_error(display);
    char text[256];
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
        fault.protocolError = true;
        std::snprintf(text, sizeof text,
                      "wl_display: the compositor raised protocol error %u on %s@%u and closed the "
                      "connection; ending the run",
                      code, interface ? interface->name : "an unknown object", id);
    } else {
        std::snprintf(text, sizeof text, "wl_display: the Wayland compositor went away (%s); ending the run",
                      std::strerror(error != 0 ? error : EPIPE));
    }
    fault.line = text;
    return fault;
}

} // namespace kelvara

#include <poll.h>

namespace kelvara {

bool dispatchWithin(wl_display* display, wl_event_queue* queue, int timeoutMs) {
    const auto prepare = [&] {
        return queue ? wl_display_prepare_read_queue(display, queue) : wl_display_prepare_read(display);
    };
    const auto dispatchPending = [&] {
        return queue ? wl_display_dispatch_queue_pending(display, queue)
                     : wl_display_dispatch_pending(display);
    };
    while (prepare() != 0)
        if (dispatchPending() < 0)
            return false;
    // A full socket is no failure: what is queued goes out with the next flush.
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return false;
    }
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready > 0 && (fd.revents & POLLIN) != 0) {
        if (wl_display_read_events(display) < 0)
            return false;
    } else {
        wl_display_cancel_read(display);
        if (ready > 0 && (fd.revents & (POLLHUP | POLLERR)) != 0)
            return false;
    }
    return dispatchPending() >= 0 && wl_display_get_error(display) == 0;
}

} // namespace kelvara
