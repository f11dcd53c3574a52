// The desktop's lock state, idle inhibition and the signals that end a
// saver run, over D-Bus (bus/bus.h).
//
// Provides: openBusIfThere, desktopLocked, gnomeIdleInhibited,
// desktopEndReason and DesktopEndWatch. Lock state from org.gnome.ScreenSaver
// (GNOME) and org.freedesktop.ScreenSaver (KDE and others); inhibition from
// gnome-session; sleep from logind on the system bus.
// Limits: other desktops' own idle inhibitors (outside ext-idle-notify,
// which honours them itself) are not asked; a bus that appears after the
// start is not listened to.
#include "host/desktop_bus_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "host/end_signal_posix.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

// A desktop service answers at once or not at all: the run must not wait on it.
constexpr std::chrono::milliseconds kQueryTimeout{500};

// gnome-session's inhibit flag for "idle".
constexpr uint32_t kInhibitIdle = 8;

bool socketThere(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_socket(path, error);
}

bool firstBoolean(const std::vector<BusArg>& values) {
    const bool* b = values.empty() ? nullptr : std::get_if<bool>(&values[0]);
    return b && *b;
}

} // namespace

// Asked before any call, so that a call never starts a service by
// activation: one desktop's .service file for another's locker would.
bool nameOwned(BusConnection& bus, const std::string& name) {
    const BusReply reply = bus.call(
        {"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner", {name}},
        kQueryTimeout);
    return reply.ok() && firstBoolean(reply.values);
}

std::unique_ptr<BusConnection> openBusIfThere(BusKind kind) {
    const char* address =
        std::getenv(kind == BusKind::Session ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS");
    bool there = address && *address;
    if (!there && kind == BusKind::Session) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        there = runtime && *runtime && socketThere(std::string(runtime) + "/bus");
    } else if (!there) {
        there = socketThere("/run/dbus/system_bus_socket");
    }
    return there ? BusConnection::open(kind) : nullptr;
}

bool desktopLocked(BusConnection& session) {
    for (const char* name : {"org.gnome.ScreenSaver", "org.freedesktop.ScreenSaver"}) {
        const std::string service = name;
        std::string path = "/" + service;
        std::replace(path.begin(), path.end(), '.', '/');
        if (!nameOwned(session, service))
            continue;
        const BusReply reply = session.call({service, path, service, "GetActive", {}}, kQueryTimeout);
        if (reply.ok() && firstBoolean(reply.values))
            return true;
    }
    return false;
}

bool gnomeIdleInhibited(BusConnection& session) {
    if (!nameOwned(session, "org.gnome.SessionManager"))
        return false;
    const BusReply reply = session.call({"org.gnome.SessionManager",
                                         "/org/gnome/SessionManager",
                                         "org.gnome.SessionManager",
                                         "IsInhibited",
                                         {kInhibitIdle}},
                                        kQueryTimeout);
    return reply.ok() && firstBoolean(reply.values);
}

std::string desktopEndReason(const BusSignal& signal) {
    if (!firstBoolean(signal.args))
        return {};
    if (signal.member == "ActiveChanged")
        return "the desktop's locker or blanking took over (" + signal.interface +
               " ActiveChanged); ending the run";
    if (signal.member == "PrepareForSleep")
        return "the system is going to sleep (logind PrepareForSleep); ending the run";
    return {};
}

DesktopEndWatch::DesktopEndWatch(bool enabled) {
    if (!enabled)
        return;
    std::unique_ptr<BusConnection> session = openBusIfThere(BusKind::Session);
    std::unique_ptr<BusConnection> system = openBusIfThere(BusKind::System);
    if ((!session && !system) || pipe2(stop_, O_CLOEXEC) != 0)
        return;
    thread_ = std::thread(&DesktopEndWatch::listen, this, std::move(session), std::move(system));
}

DesktopEndWatch::~DesktopEndWatch() {
    if (thread_.joinable()) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(stop_[1], &byte, 1);
        thread_.join();
    }
    for (int fd : stop_)
        if (fd >= 0)
            close(fd);
}

void DesktopEndWatch::listen(std::unique_ptr<BusConnection> session, std::unique_ptr<BusConnection> system) {
    std::vector<BusSubscription> subscriptions;
    if (session) {
        subscriptions.push_back(session->subscribe(kGnomeScreenSaverActive));
        subscriptions.push_back(session->subscribe(kFreedesktopScreenSaverActive));
    }
    if (system)
        subscriptions.push_back(system->subscribe(kPrepareForSleep));
    std::vector<BusConnection*> buses;
    for (BusConnection* bus : {session.get(), system.get()})
        if (bus)
            buses.push_back(bus);
    for (;;) {
        std::vector<pollfd> fds = {{stop_[0], POLLIN, 0}};
        int timeout = -1;
        for (BusConnection* bus : buses) {
            fds.push_back({bus->fd(), bus->events(), 0});
            if (bus->timeoutMs() >= 0)
                timeout = timeout < 0 ? bus->timeoutMs() : std::min(timeout, bus->timeoutMs());
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents != 0)
            return;
        for (auto bus = buses.begin(); bus != buses.end();) {
            if (!(*bus)->process()) {
                bus = buses.erase(bus); // a bus that went away says nothing more
                continue;
            }
            while (const std::optional<BusSignal> signal = (*bus)->nextSignal(std::chrono::milliseconds(0))) {
                const std::string reason = desktopEndReason(*signal);
                if (reason.empty())
                    continue;
                reportFailure("%s", reason.c_str());
                wakeToEnd();
                return;
            }
            ++bus;
        }
        if (buses.empty())
            return;
    }
}

} // namespace kelvara
