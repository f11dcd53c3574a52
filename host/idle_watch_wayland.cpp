// The idle watch on Wayland (kelvara --idle SECONDS).
//
// Provides: runIdleWatch. Stays in the session and, each time the seat has
// been idle for the given time, runs the saver (this program with --wayland
// and the run's options) as a child process; when the user comes back and
// the saver ends, waits for the next idle period. The seat's idle time comes
// from ext-idle-notify-v1, else org_kde_kwin_idle (KWin, sway 1.7), else
// GNOME's org.gnome.Mutter.IdleMonitor on the session bus. No saver starts
// while the session is locked or gnome-session says idle is inhibited (the
// Wayland protocols honour inhibitors themselves). One watch per session,
// held by a lock file in XDG_RUNTIME_DIR named after the compositor's
// socket. Where GNOME or KDE blank the screen sooner than the watch's time,
// one line says so. SIGTERM, SIGINT and SIGHUP end the watch and its saver
// (which saves as on any end); so does the compositor going away.
// Limits: the saver is ended by the watch only once the user is back (a
// hung saver goes on drawing until then); a seat added after the start is
// not watched; the blank delay is read once, at the start.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "host/desktop_bus_posix.h"
#include "host/end_signal_posix.h"
#include "host/idle_watch.h"
#include "host/saver_host.h"
#include "idle-client-protocol.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

// How often a running saver is looked at for its end.
constexpr int kChildPollMs = 200;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---- one watch per session ---------------------------------------------------

// Held for the watch's life; the system lets it go when the process ends,
// however it ends.
class SessionLock {
  public:
    ~SessionLock() {
        if (fd_ >= 0)
            close(fd_);
    }
    // False when another watch of this session holds it.
    bool take() {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) {
            reportFailure(
                "--idle: XDG_RUNTIME_DIR is not set; a second watch in this session cannot be noticed");
            return true;
        }
        std::string socket = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0";
        std::replace(socket.begin(), socket.end(), '/', '_');
        const std::string path = std::string(runtime) + "/kelvara-idle-" + socket + ".lock";
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            reportFailure("--idle: open %s: %s; a second watch cannot be noticed", path.c_str(),
                          std::strerror(errno));
            return true;
        }
        return flock(fd_, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
    }

  private:
    int fd_ = -1;
};

// ---- the seat's idle time from the compositor ------------------------------

class WaylandIdle {
  public:
    ~WaylandIdle();
    // Connects and binds what the compositor offers; false (the reason on
    // stderr) without a compositor.
    bool connect();
    // Asks for idle and active events after `seconds`; the source's name, or
    // null when the compositor offers no idle protocol.
    const char* watch(unsigned seconds);
    wl_display* display() const { return display_; }

    // Events in the order they came: true idle, false active again.
    std::vector<bool> events;

    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* notifier = nullptr;
    org_kde_kwin_idle* kdeIdle = nullptr;

  private:
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
};

void registryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* w = static_cast<WaylandIdle*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !w->seat)
        w->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !w->notifier)
        w->notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0 && !w->kdeIdle)
        w->kdeIdle = static_cast<org_kde_kwin_idle*>(
            wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
}
void registryRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {registryGlobal, registryRemove};

void idled(void* data, ext_idle_notification_v1*) {
    static_cast<WaylandIdle*>(data)->events.push_back(true);
}
void resumed(void* data, ext_idle_notification_v1*) {
    static_cast<WaylandIdle*>(data)->events.push_back(false);
}
const ext_idle_notification_v1_listener kNotificationListener = {idled, resumed};

void kdeIdled(void* data, org_kde_kwin_idle_timeout*) {
    static_cast<WaylandIdle*>(data)->events.push_back(true);
}
void kdeResumed(void* data, org_kde_kwin_idle_timeout*) {
    static_cast<WaylandIdle*>(data)->events.push_back(false);
}
const org_kde_kwin_idle_timeout_listener kKdeTimeoutListener = {kdeIdled, kdeResumed};

WaylandIdle::~WaylandIdle() {
    if (!display_)
        return;
    if (notification_)
        ext_idle_notification_v1_destroy(notification_);
    if (kdeTimeout_)
        org_kde_kwin_idle_timeout_release(kdeTimeout_);
    if (notifier)
        ext_idle_notifier_v1_destroy(notifier);
    if (kdeIdle)
        org_kde_kwin_idle_destroy(kdeIdle);
    if (seat)
        wl_seat_destroy(seat);
    wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

bool WaylandIdle::connect() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) {
        reportFailure("--idle: WAYLAND_DISPLAY is not set; the idle watch runs in a Wayland session");
        return false;
    }
    display_ = wl_display_connect(nullptr);
    if (!display_) {
        reportFailure("--idle: wl_display_connect %s: %s", name, std::strerror(errno));
        return false;
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    wl_display_roundtrip(display_);
    return true;
}

const char* WaylandIdle::watch(unsigned seconds) {
    if (!seat)
        return nullptr;
    const uint32_t ms = seconds * 1000;
    if (notifier) {
        notification_ = ext_idle_notifier_v1_get_idle_notification(notifier, ms, seat);
        ext_idle_notification_v1_add_listener(notification_, &kNotificationListener, this);
        return "ext-idle-notify-v1";
    }
    if (kdeIdle) {
        kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle, seat, ms);
        org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kKdeTimeoutListener, this);
        return "org_kde_kwin_idle";
    }
    return nullptr;
}

// ---- the seat's idle time from GNOME ---------------------------------------------

constexpr const char* kIdleMonitor = "org.gnome.Mutter.IdleMonitor";
constexpr const char* kIdleMonitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr std::chrono::milliseconds kIdleMonitorTimeout{2000};

// Mutter's idle watches: one that fires each time the seat has been idle
// long enough, and a one-shot watch for the user's return, added each time
// the first fires.
class GnomeIdleMonitor {
  public:
    explicit GnomeIdleMonitor(BusConnection& bus) : bus_(bus) {}
    ~GnomeIdleMonitor() {
        if (idleWatch_ != 0)
            bus_.call({kIdleMonitor, kIdleMonitorPath, kIdleMonitor, "RemoveWatch", {idleWatch_}},
                      kIdleMonitorTimeout);
    }
    bool watch(unsigned seconds) {
        fired_ = bus_.subscribe("type='signal',interface='org.gnome.Mutter.IdleMonitor',member='WatchFired'");
        idleWatch_ = add("AddIdleWatch", {static_cast<uint64_t>(seconds) * 1000});
        return fired_.active() && idleWatch_ != 0;
    }
    // Moves what the fired watches say into `events` (true idle, false active).
    void take(std::vector<bool>& events) {
        while (const std::optional<BusSignal> signal = bus_.nextSignal(std::chrono::milliseconds(0))) {
            const uint32_t* id = signal->args.empty() ? nullptr : std::get_if<uint32_t>(&signal->args[0]);
            if (signal->member != "WatchFired" || !id || *id == 0)
                continue;
            if (*id == idleWatch_) {
                events.push_back(true);
                activeWatch_ = add("AddUserActiveWatch", {});
            } else if (*id == activeWatch_) {
                events.push_back(false);
                activeWatch_ = 0;
            }
        }
    }

  private:
    // A new watch's id, or 0 when mutter did not make one.
    uint32_t add(const char* member, std::vector<BusArg> args) {
        const BusReply reply = bus_.call(
            {kIdleMonitor, kIdleMonitorPath, kIdleMonitor, member, std::move(args)}, kIdleMonitorTimeout);
        const uint32_t* id =
            reply.ok() && !reply.values.empty() ? std::get_if<uint32_t>(&reply.values[0]) : nullptr;
        return id ? *id : 0;
    }

    BusConnection& bus_;
    BusSubscription fired_;
    uint32_t idleWatch_ = 0;
    uint32_t activeWatch_ = 0;
};

// ---- the desktop's own blank delay ------------------------------------------------

// GNOME's idle-delay (seconds; 0 never blanks), or 0 when it cannot be read.
unsigned gnomeIdleDelay() {
    FILE* out = popen("gsettings get org.gnome.desktop.session idle-delay 2>/dev/null", "r");
    if (!out)
        return 0;
    char text[64] = {};
    const bool read = std::fgets(text, sizeof text, out) != nullptr;
    pclose(out);
    unsigned seconds = 0;
    return read && std::sscanf(text, "uint32 %u", &seconds) == 1 ? seconds : 0;
}

std::string configText(const char* name) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string folder = config && *config ? config : std::string(home ? home : "") + "/.config";
    std::ifstream in(folder + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void noteBlankDelay(unsigned seconds) {
    const char* current = std::getenv("XDG_CURRENT_DESKTOP");
    const std::string desktop = current ? current : "";
    std::string note;
    if (desktop.find("GNOME") != std::string::npos)
        note = blankDelayNote("GNOME", gnomeIdleDelay(), seconds);
    else if (desktop.find("KDE") != std::string::npos)
        note = blankDelayNote(
            "KDE Plasma",
            kdeScreenOffSeconds(configText("powerdevilrc") + configText("powermanagementprofilesrc")),
            seconds);
    if (!note.empty())
        reportFailure("%s", note.c_str());
}

// ---- the saver as a child process ---------------------------------------------

class SaverChild {
  public:
    // Starts this program with `arguments`; false when it could not.
    bool start(const std::vector<std::string>& arguments);
    bool running() const { return pid_ > 0; }
    void send(int sig) {
        if (pid_ > 0 && kill(pid_, sig) == 0)
            signalled_ = true;
    }
    // Whether it has ended (without waiting), and how.
    bool ended(SaverEnd& end);
    // Ends it as the watch ends: SIGTERM, time to save, then SIGKILL.
    void stop(int64_t graceMs);

  private:
    pid_t pid_ = -1;
    bool signalled_ = false;
};

bool SaverChild::start(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    static char name[] = "kelvara";
    argv.push_back(name);
    std::vector<std::string> words = arguments;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        reportFailure("--idle: fork: %s", std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        // The watch ignores SIGPIPE; the saver starts with the defaults.
        signal(SIGPIPE, SIG_DFL);
        execv("/proc/self/exe", argv.data());
        reportFailure("--idle: execv /proc/self/exe: %s", std::strerror(errno));
        _exit(127);
    }
    pid_ = pid;
    signalled_ = false;
    return true;
}

bool SaverChild::ended(SaverEnd& end) {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_)
        return false;
    pid_ = -1;
    if (signalled_)
        end = SaverEnd::EndedByWatch;
    else
        end = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? SaverEnd::Finished : SaverEnd::Failed;
    return true;
}

void SaverChild::stop(int64_t graceMs) {
    if (pid_ <= 0)
        return;
    send(SIGTERM);
    SaverEnd end;
    for (const int64_t until = nowMs() + graceMs; nowMs() < until; usleep(50 * 1000))
        if (ended(end))
            return;
    send(SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// ---- the watch ------------------------------------------------------------------

class IdleWatch {
  public:
    explicit IdleWatch(const SaverOptions& options) : options_(options) {}
    int run();

  private:
    // The idle source's name, or null (the reason on stderr) when there is none.
    const char* watchIdle();
    void startSaver();
    void serveSaver();
    // Waits for the next event or deadline; false when the watch should end.
    bool waitForEvents();
    // What came from the compositor (its fd's `revents`) and the session
    // bus; false when either went away.
    bool takeEvents(short revents);

    const SaverOptions& options_;
    IdleWatchRules rules_;
    IdleWatchTimes times_;
    WaylandIdle wayland_;
    std::unique_ptr<BusConnection> session_;
    std::unique_ptr<GnomeIdleMonitor> gnome_;
    SaverChild saver_;
};

const char* IdleWatch::watchIdle() {
    if (const char* source = wayland_.watch(options_.idleSeconds))
        return source;
    if (session_ && nameOwned(*session_, kIdleMonitor)) {
        gnome_ = std::make_unique<GnomeIdleMonitor>(*session_);
        if (gnome_->watch(options_.idleSeconds))
            return kIdleMonitor;
        gnome_.reset();
    }
    reportFailure(
        "--idle: the compositor offers %s, and %s; nothing tells this program when the seat is idle",
        wayland_.seat ? "neither ext_idle_notifier_v1 nor org_kde_kwin_idle" : "no wl_seat",
        session_ ? "org.gnome.Mutter.IdleMonitor does not answer on the session bus"
                 : "there is no session bus for GNOME's org.gnome.Mutter.IdleMonitor");
    return nullptr;
}

void IdleWatch::startSaver() {
    // A locked session has its own locker over it; an inhibitor on GNOME
    // (which its idle monitor does not honour) means a video plays.
    if (session_ && (desktopLocked(*session_) || gnomeIdleInhibited(*session_))) {
        rules_.startRefused();
        return;
    }
    std::vector<std::string> arguments = {"--wayland"};
    const std::vector<std::string> run = runArguments(options_);
    arguments.insert(arguments.end(), run.begin(), run.end());
    const int64_t now = nowMs();
    if (saver_.start(arguments)) {
        rules_.saverStarted(now);
        return;
    }
    const std::string line = rules_.saverEnded(now, SaverEnd::Failed);
    if (!line.empty())
        reportFailure("%s", line.c_str());
}

// The running saver's end, and what it is owed.
void IdleWatch::serveSaver() {
    const int64_t now = nowMs();
    SaverEnd end;
    if (saver_.ended(end)) {
        const std::string line = rules_.saverEnded(now, end);
        if (!line.empty())
            reportFailure("%s", line.c_str());
        return;
    }
    const SaverSignal due = rules_.signalDue(now);
    if (due == SaverSignal::None)
        return;
    saver_.send(due == SaverSignal::Terminate ? SIGTERM : SIGKILL);
    rules_.signalSent(now, due);
}

bool IdleWatch::waitForEvents() {
    wl_display* display = wayland_.display();
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    wl_display_flush(display);
    int64_t timeout = rules_.msUntilNextDeadline(nowMs());
    if (saver_.running())
        timeout = timeout < 0 ? kChildPollMs : std::min<int64_t>(timeout, kChildPollMs);
    std::vector<pollfd> fds = {{wl_display_get_fd(display), POLLIN, 0}, {endSignalFd(), POLLIN, 0}};
    if (gnome_) {
        fds.push_back({session_->fd(), session_->events(), 0});
        if (session_->timeoutMs() >= 0)
            timeout = timeout < 0 ? session_->timeoutMs() : std::min<int64_t>(timeout, session_->timeoutMs());
    }
    const int ready = poll(fds.data(), fds.size(), static_cast<int>(timeout));
    const bool readable = ready > 0 && (fds[0].revents & POLLIN) != 0;
    if (readable)
        wl_display_read_events(display);
    else
        wl_display_cancel_read(display);
    if (ready > 0 && (fds[1].revents & POLLIN) != 0)
        return false;
    return takeEvents(ready > 0 ? fds[0].revents : 0);
}

bool IdleWatch::takeEvents(short revents) {
    wl_display* display = wayland_.display();
    if (wl_display_dispatch_pending(display) < 0 || wl_display_get_error(display) != 0 ||
        (revents & (POLLHUP | POLLERR)) != 0) {
        reportFailure("--idle: the Wayland compositor went away; the watch ends");
        return false;
    }
    if (gnome_) {
        if (!session_->process()) {
            reportFailure("--idle: the session bus went away; the watch ends");
            return false;
        }
        gnome_->take(wayland_.events);
    }
    return true;
}

int IdleWatch::run() {
    if (!wayland_.connect())
        return 1;
    SessionLock lock;
    if (!lock.take()) {
        reportFailure("--idle: an idle watch already runs in this session; this one ends");
        return 0;
    }
    session_ = openBusIfThere(BusKind::Session);
    if (!watchIdle())
        return 1;
    noteBlankDelay(options_.idleSeconds);
    if (!installEndSignals())
        reportFailure("pipe: %s; signals end the watch abruptly", std::strerror(errno));
    for (;;) {
        for (bool idle : wayland_.events)
            idle ? rules_.seatIdle(nowMs()) : rules_.seatActive(nowMs());
        wayland_.events.clear();
        if (saver_.running())
            serveSaver();
        if (rules_.wantsStart(nowMs()))
            startSaver();
        if (!waitForEvents())
            break;
    }
    saver_.stop(times_.killGraceMs);
    return 0;
}

} // namespace

int runIdleWatch(const SaverOptions& options) {
    IdleWatch watch(options);
    return watch.run();
}

} // namespace kelvara
