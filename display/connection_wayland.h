#pragma once

// The Wayland connection of a run and what its registry offers: the globals
// the saver binds and every output with its geometry. Wayland builds only.
#include <wayland-client.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "display/output_views.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "wlr-output-power-management-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace kelvara {

struct WaylandOutput {
    uint32_t globalName = 0; // the registry's name, to notice its removal
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    zwlr_output_power_v1* power = nullptr;
    OutputGeometry geometry;
    // Written on the thread that dispatches the default queue, read by the
    // render thread: the compositor says the output is switched off.
    std::atomic<bool> poweredOff{false};
};

struct WaylandConnection {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    xdg_wm_base* wmBase = nullptr; // its pings are answered here
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    uint32_t screencopyVersion = 0;
    zxdg_output_manager_v1* xdgOutputManager = nullptr;
    zwlr_output_power_manager_v1* outputPower = nullptr;
    std::vector<std::unique_ptr<WaylandOutput>> outputs;
    // Set once the start-up has listed the outputs: an output that comes or
    // goes after that ends the run.
    bool listed = false;
    bool outputsChanged = false;
    uint32_t seatCapabilities = 0; // as last announced
    // Called when the seat's capabilities change (the host
    // makes its keyboard and pointer then).
    void (*seatChanged)(void* data, uint32_t capabilities) = nullptr;
    void* seatData = nullptr;
};

// Connects to the compositor named by WAYLAND_DISPLAY and waits (round trips)
// until every output's geometry is known. Null, with the reason on stderr,
// when there is no compositor to connect to or the connection broke meanwhile.
std::unique_ptr<WaylandConnection> connectWayland();

// Lets go of every object and the connection itself.
void disconnectWayland(std::unique_ptr<WaylandConnection>& connection);

// The geometries of the outputs, in the order the compositor listed them.
std::vector<OutputGeometry> outputGeometries(const WaylandConnection& connection);

// Why a connection on which dispatching failed is broken, as one line: the
// protocol error the compositor raised (the saver's own fault: `protocolError`
// set) naming the object, its id and the error code, or the system error that
// closed the connection (the compositor went away).
struct ConnectionFault {
    bool protocolError = false;
    std::string line;
};
ConnectionFault connectionFault(wl_display* display);

} // namespace kelvara

namespace kelvara {

// Reads and dispatches the events of `queue` (null: the default queue) that
// arrive within `timeoutMs` (the ones already there at once). Safe beside
// another thread doing the same on another queue. False when the connection
// is broken.
bool dispatchWithin(wl_display* display, wl_event_queue* queue, int timeoutMs);

} // namespace kelvara
