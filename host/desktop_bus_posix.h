#pragma once

// What the saver and the idle watch ask the desktop over D-Bus, and the
// watch that ends a run when the desktop takes over. POSIX builds only.

#include <memory>
#include <string>
#include <thread>

#include "bus/bus.h"

namespace kelvara {

// The session or system bus when one is there to be reached, else null
// without a word: a missing bus is an ordinary desktop, not a failure.
std::unique_ptr<BusConnection> openBusIfThere(BusKind kind);

// Whether `name` has an owner on `bus` (asked of the bus itself, so that no
// service is started by activation).
bool nameOwned(BusConnection& bus, const std::string& name);

// Whether the desktop's screen saver or locker is active (GetActive of
// org.gnome.ScreenSaver or org.freedesktop.ScreenSaver); false where
// neither answers.
bool desktopLocked(BusConnection& session);

// Whether gnome-session says idle is inhibited (IsInhibited(8)); false where
// it does not answer.
bool gnomeIdleInhibited(BusConnection& session);

// The match rules of the signals that end a saver run.
inline constexpr const char* kGnomeScreenSaverActive =
    "type='signal',interface='org.gnome.ScreenSaver',member='ActiveChanged'";
inline constexpr const char* kFreedesktopScreenSaverActive =
    "type='signal',interface='org.freedesktop.ScreenSaver',member='ActiveChanged'";
inline constexpr const char* kPrepareForSleep =
    "type='signal',interface='org.freedesktop.login1.Manager',member='PrepareForSleep'";

// Why `signal` ends a run (the desktop's locker or blanking took over, the
// machine goes to sleep), or empty when it does not.
std::string desktopEndReason(const BusSignal& signal);

// Ends a saver run (through wakeToEnd) when the desktop's locker or blanking
// takes over, ActiveChanged(true), or the machine goes to sleep, logind's
// PrepareForSleep(true): the saver would only burn power behind the one or
// be left drawing over the other. Listens on a thread of its own, from
// construction to destruction; does nothing when `enabled` is false or
// neither bus is there.
class DesktopEndWatch {
  public:
    explicit DesktopEndWatch(bool enabled);
    ~DesktopEndWatch();
    DesktopEndWatch(const DesktopEndWatch&) = delete;
    DesktopEndWatch& operator=(const DesktopEndWatch&) = delete;

  private:
    void listen(std::unique_ptr<BusConnection> session, std::unique_ptr<BusConnection> system);

    int stop_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace kelvara
