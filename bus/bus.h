#pragma once

// The saver's D-Bus connection: the session or system bus, method calls with
// a time limit, signal subscriptions and waits, and the connection's fd for a
// host's poll loop. Linux only, on sd-bus (libsystemd).
//
// Limits: only the value types the desktop services the saver talks to use
// (basic types, a{sv} with basic values, as, unix fds as arguments); a reply's
// other containers read as empty values. A connection belongs to one thread.
// No objects are exported: the saver only calls and listens.
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sd_bus;
struct sd_bus_slot;
struct sd_bus_message;

namespace kelvara {

struct ObjectPath {
    std::string path;
    bool operator==(const ObjectPath&) const = default;
};

// An fd passed with a call; the caller keeps it (the message holds its own
// duplicate until sent).
struct UnixFd {
    int fd = -1;
    bool operator==(const UnixFd&) const = default;
};

// One value inside a variant ('v'); monostate for a type this layer does not read.
using BusValue = std::variant<std::monostate, bool, uint32_t, int32_t, uint64_t, int64_t, double, std::string,
                              ObjectPath, UnixFd>;
// a{sv}: the option and result maps of the desktop services.
using BusDict = std::map<std::string, BusValue>;
using StringList = std::vector<std::string>;
// One argument of a call, or one value of a reply or a signal.
using BusArg = std::variant<std::monostate, bool, uint32_t, int32_t, uint64_t, int64_t, double, std::string,
                            ObjectPath, UnixFd, BusDict, StringList>;

struct BusCall {
    std::string destination;
    std::string path;
    std::string interface;
    std::string member;
    std::vector<BusArg> args;
};

// A reply or an error: the error's D-Bus name (empty when none) and message.
struct BusReply {
    std::vector<BusArg> values;
    std::string errorName;
    std::string errorMessage;
    bool ok() const { return errorName.empty(); }
    // "NAME: MESSAGE", for the one line a caller prints.
    std::string error() const;
};

struct BusSignal {
    std::string sender;
    std::string path;
    std::string interface;
    std::string member;
    std::vector<BusArg> args;
};

enum class BusKind { Session, System };

class BusConnection;

// A match rule held on a connection: while it lives, matching signals queue
// on the connection. Must not outlive it.
class BusSubscription {
public:
    BusSubscription() = default;
    BusSubscription(BusSubscription&& other) noexcept;
    BusSubscription& operator=(BusSubscription&& other) noexcept;
    ~BusSubscription();
    bool active() const { return slot_ != nullptr; }

private:
    friend class BusConnection;
    explicit BusSubscription(sd_bus_slot* slot) : slot_(slot) {}
    sd_bus_slot* slot_ = nullptr;
};

class BusConnection {
public:
    // The user's session bus or the system bus. Null, with one line on stderr
    // naming the call and the reason, when it cannot be reached.
    static std::unique_ptr<BusConnection> open(BusKind kind);
    // A bus at an explicit address ("unix:path=..."); the same on failure.
    static std::unique_ptr<BusConnection> openAddress(const std::string& address);
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // Sends `call` and waits at most `timeout` for its answer; a timeout, a
    // missing service or a broken bus come back as errors, never as a hang.
    // Signals that arrive meanwhile stay queued for nextSignal.
    BusReply call(const BusCall& call, std::chrono::milliseconds timeout);

    // Adds a match rule ("type='signal',interface=...,member=..."). Inactive,
    // with one line on stderr, when the bus refuses it.
    BusSubscription subscribe(const std::string& matchRule);

    // Waits at most `timeout` for a signal of a live subscription (zero: only
    // what already arrived). Nothing when none came in time or the bus broke.
    std::optional<BusSignal> nextSignal(std::chrono::milliseconds timeout);

    // Asks for a well-known name without queueing; false when another
    // connection owns it (or the bus refused, with one line on stderr).
    bool requestName(const std::string& name);

    std::string uniqueName() const;

    // For a host's poll loop: poll fd() for events(), at most timeoutMs()
    // (-1: no limit of the bus's own), then call process().
    int fd() const;
    short events() const;
    int timeoutMs() const;
    // Reads what arrived, queueing signals. False when the bus connection broke.
    bool process();

private:
    explicit BusConnection(sd_bus* bus) : bus_(bus) {}
    void queueSignal(sd_bus_message* message);
    sd_bus* bus_;
    std::deque<BusSignal> signals_;
    bool broken_ = false;
};

// The value of `key` in `dict` as a number when it holds any integer type
// (services differ in the width and sign they send); nothing otherwise.
std::optional<int64_t> dictInteger(const BusDict& dict, const std::string& key);
// The same for a number of any kind, integers included.
std::optional<double> dictNumber(const BusDict& dict, const std::string& key);
// The value of `key` when it holds a T.
template <class T> const T* dictValue(const BusDict& dict, const std::string& key) {
    auto found = dict.find(key);
    return found == dict.end() ? nullptr : std::get_if<T>(&found->second);
}

} // namespace kelvara
