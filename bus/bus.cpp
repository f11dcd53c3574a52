// The D-Bus connection on sd-bus. Chosen over sdbus-c++ (its C++ binding):
// the saver calls a handful of methods and listens to a few signals, which
// sd-bus does in plain calls with explicit time limits and an fd to poll,
// while sdbus-c++ adds its own event loop thread, exceptions for ordinary
// outcomes (a missing service) and a second library to ship; libsystemd is
// on every system that has a session bus.
#include "bus/bus.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kelvara {

namespace {

uint64_t toMicroseconds(std::chrono::milliseconds timeout) {
    // sd-bus reads a zero time limit as its default of 25 s.
    return static_cast<uint64_t>(std::max<int64_t>(timeout.count(), 1)) * 1000u;
}

uint64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void reportFailure(const char* call, const std::string& what, int negativeErrno) {
    std::fprintf(stderr, "kelvara: %s(%s): %s\n", call, what.c_str(), std::strerror(-negativeErrno));
}

// ---- Writing arguments ------------------------------------------------------

struct ValueSignature {
    const char* operator()(std::monostate) const { return nullptr; }
    const char* operator()(bool) const { return "b"; }
    const char* operator()(uint32_t) const { return "u"; }
    const char* operator()(int32_t) const { return "i"; }
    const char* operator()(uint64_t) const { return "t"; }
    const char* operator()(int64_t) const { return "x"; }
    const char* operator()(double) const { return "d"; }
    const char* operator()(const std::string&) const { return "s"; }
    const char* operator()(const ObjectPath&) const { return "o"; }
    const char* operator()(const UnixFd&) const { return "h"; }
};

int appendBasic(sd_bus_message* message, const BusValue& value) {
    return std::visit(
        [message](const auto& v) -> int {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return -EINVAL;
            } else if constexpr (std::is_same_v<T, bool>) {
                int b = v ? 1 : 0;
                return sd_bus_message_append_basic(message, 'b', &b);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return sd_bus_message_append_basic(message, 's', v.c_str());
            } else if constexpr (std::is_same_v<T, ObjectPath>) {
                return sd_bus_message_append_basic(message, 'o', v.path.c_str());
            } else if constexpr (std::is_same_v<T, UnixFd>) {
                return sd_bus_message_append_basic(message, 'h', &v.fd);
            } else {
                return sd_bus_message_append_basic(message, ValueSignature{}(v)[0], &v);
            }
        },
        value);
}

int appendDict(sd_bus_message* message, const BusDict& dict) {
    int r = sd_bus_message_open_container(message, 'a', "{sv}");
    for (auto entry = dict.begin(); r >= 0 && entry != dict.end(); ++entry) {
        const char* signature = std::visit(ValueSignature{}, entry->second);
        if (!signature) {
            return -EINVAL;
        }
        r = sd_bus_message_open_container(message, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append_basic(message, 's', entry->first.c_str());
        if (r >= 0) r = sd_bus_message_open_container(message, 'v', signature);
        if (r >= 0) r = appendBasic(message, entry->second);
        if (r >= 0) r = sd_bus_message_close_container(message);
        if (r >= 0) r = sd_bus_message_close_container(message);
    }
    return r < 0 ? r : sd_bus_message_close_container(message);
}

int appendArg(sd_bus_message* message, const BusArg& arg) {
    if (const auto* dict = std::get_if<BusDict>(&arg)) {
        return appendDict(message, *dict);
    }
    if (const auto* strings = std::get_if<StringList>(&arg)) {
        int r = sd_bus_message_open_container(message, 'a', "s");
        for (auto s = strings->begin(); r >= 0 && s != strings->end(); ++s) {
            r = sd_bus_message_append_basic(message, 's', s->c_str());
        }
        return r < 0 ? r : sd_bus_message_close_container(message);
    }
    return std::visit(
        [message](const auto& v) -> int {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, BusDict> || std::is_same_v<T, StringList>) {
                return -EINVAL; // handled above
            } else {
                return appendBasic(message, BusValue{v});
            }
        },
        arg);
}

// ---- Reading values ---------------------------------------------------------

bool isBasicType(char type) { return type != 0 && std::strchr("ybnqiuxtdsogh", type) != nullptr; }

int readBasic(sd_bus_message* message, char type, BusValue& out) {
    union {
        uint8_t y;
        int16_t n;
        uint16_t q;
        int32_t i;
        uint32_t u;
        int64_t x;
        uint64_t t;
        double d;
        const char* s;
        int b;
    } raw{};
    int r = sd_bus_message_read_basic(message, type, &raw);
    if (r <= 0) {
        return r;
    }
    switch (type) {
    case 'y': out = uint32_t{raw.y}; break;
    case 'q': out = uint32_t{raw.q}; break;
    case 'n': out = int32_t{raw.n}; break;
    case 'b': out = raw.b != 0; break;
    case 'i': out = raw.i; break;
    case 'u': out = raw.u; break;
    case 'x': out = raw.x; break;
    case 't': out = raw.t; break;
    case 'd': out = raw.d; break;
    case 's':
    case 'g': out = std::string(raw.s); break;
    case 'o': out = ObjectPath{raw.s}; break;
    default: out = std::monostate{}; break; // 'h': the message keeps its fd
    }
    return r;
}

std::string completeType(char type, const char* contents) {
    switch (type) {
    case 'a': return std::string("a") + contents;
    case 'r': return std::string("(") + contents + ")";
    case 'e': return std::string("{") + contents + "}";
    default: return std::string(1, type);
    }
}

// A variant holding one basic value; any other variant is skipped.
int readVariant(sd_bus_message* message, const char* contents, BusValue& out) {
    if (std::strlen(contents) != 1 || !isBasicType(contents[0])) {
        out = std::monostate{};
        return sd_bus_message_skip(message, "v");
    }
    int r = sd_bus_message_enter_container(message, 'v', contents);
    if (r > 0) r = readBasic(message, contents[0], out);
    return r < 0 ? r : sd_bus_message_exit_container(message);
}

int readDict(sd_bus_message* message, BusDict& dict) {
    int r = sd_bus_message_enter_container(message, 'a', "{sv}");
    while (r > 0 && (r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        char type = 0;
        const char* contents = nullptr;
        r = sd_bus_message_read_basic(message, 's', &key);
        if (r > 0) r = sd_bus_message_peek_type(message, &type, &contents);
        BusValue value;
        if (r > 0) r = readVariant(message, contents, value);
        if (r >= 0) {
            dict[key] = value;
            r = sd_bus_message_exit_container(message);
        }
    }
    return r < 0 ? r : sd_bus_message_exit_container(message);
}

int readStrings(sd_bus_message* message, StringList& strings) {
    int r = sd_bus_message_enter_container(message, 'a', "s");
    const char* s = nullptr;
    while (r > 0 && (r = sd_bus_message_read_basic(message, 's', &s)) > 0) {
        strings.emplace_back(s);
    }
    return r < 0 ? r : sd_bus_message_exit_container(message);
}

// The next complete value; 0 at the end of the message.
int readArg(sd_bus_message* message, BusArg& out) {
    char type = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(message, &type, &contents);
    if (r <= 0) {
        return r;
    }
    BusValue value;
    if (isBasicType(type)) {
        r = readBasic(message, type, value);
    } else if (type == 'v') {
        r = readVariant(message, contents, value);
    } else if (type == 'a' && std::strcmp(contents, "{sv}") == 0) {
        out = BusDict{};
        int read = readDict(message, std::get<BusDict>(out));
        return read < 0 ? read : 1;
    } else if (type == 'a' && std::strcmp(contents, "s") == 0) {
        out = StringList{};
        int read = readStrings(message, std::get<StringList>(out));
        return read < 0 ? read : 1;
    } else {
        r = sd_bus_message_skip(message, completeType(type, contents).c_str());
    }
    if (r < 0) {
        return r;
    }
    out = std::visit([](const auto& v) -> BusArg { return v; }, value);
    return 1;
}

int readArgs(sd_bus_message* message, std::vector<BusArg>& values) {
    for (;;) {
        BusArg arg;
        int r = readArg(message, arg);
        if (r <= 0) {
            return r;
        }
        values.push_back(std::move(arg));
    }
}

std::string orEmpty(const char* s) { return s ? s : ""; }

} // namespace

std::string BusReply::error() const {
    return errorMessage.empty() ? errorName : errorName + ": " + errorMessage;
}

// ---- Subscriptions ------------------------------------------------------------

BusSubscription::BusSubscription(BusSubscription&& other) noexcept : slot_(other.slot_) {
    other.slot_ = nullptr;
}

BusSubscription& BusSubscription::operator=(BusSubscription&& other) noexcept {
    if (this != &other) {
        sd_bus_slot_unref(slot_);
        slot_ = other.slot_;
        other.slot_ = nullptr;
    }
    return *this;
}

BusSubscription::~BusSubscription() { sd_bus_slot_unref(slot_); }

// ---- The connection -------------------------------------------------------------

std::unique_ptr<BusConnection> BusConnection::open(BusKind kind) {
    sd_bus* bus = nullptr;
    int r = kind == BusKind::Session ? sd_bus_open_user(&bus) : sd_bus_open_system(&bus);
    if (r < 0) {
        reportFailure(kind == BusKind::Session ? "sd_bus_open_user" : "sd_bus_open_system",
                      kind == BusKind::Session ? "the session bus" : "the system bus", r);
        return nullptr;
    }
    return std::unique_ptr<BusConnection>(new BusConnection(bus));
}

std::unique_ptr<BusConnection> BusConnection::openAddress(const std::string& address) {
    sd_bus* bus = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0) r = sd_bus_set_address(bus, address.c_str());
    if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0) r = sd_bus_negotiate_fds(bus, 1);
    if (r >= 0) r = sd_bus_start(bus);
    if (r < 0) {
        reportFailure("sd_bus_start", address, r);
        sd_bus_unref(bus);
        return nullptr;
    }
    return std::unique_ptr<BusConnection>(new BusConnection(bus));
}

BusConnection::~BusConnection() {
    // No flush: a bus that stopped reading must not hold up the saver's end.
    sd_bus_close_unref(bus_);
}

BusReply BusConnection::call(const BusCall& call, std::chrono::milliseconds timeout) {
    BusReply reply;
    sd_bus_message* message = nullptr;
    sd_bus_message* answer = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_message_new_method_call(bus_, &message, call.destination.c_str(), call.path.c_str(),
                                           call.interface.c_str(), call.member.c_str());
    for (auto arg = call.args.begin(); r >= 0 && arg != call.args.end(); ++arg) {
        r = appendArg(message, *arg);
    }
    if (r >= 0) {
        r = sd_bus_call(bus_, message, toMicroseconds(timeout), &error, &answer);
    }
    if (r >= 0) {
        r = readArgs(answer, reply.values);
    }
    if (r < 0) {
        if (!sd_bus_error_is_set(&error)) {
            sd_bus_error_set_errno(&error, r);
        }
        reply.errorName = orEmpty(error.name);
        reply.errorMessage = orEmpty(error.message);
        broken_ = broken_ || r == -ECONNRESET || r == -ENOTCONN;
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(answer);
    sd_bus_message_unref(message);
    return reply;
}

void BusConnection::queueSignal(sd_bus_message* message) {
    BusSignal signal;
    signal.sender = orEmpty(sd_bus_message_get_sender(message));
    signal.path = orEmpty(sd_bus_message_get_path(message));
    signal.interface = orEmpty(sd_bus_message_get_interface(message));
    signal.member = orEmpty(sd_bus_message_get_member(message));
    readArgs(message, signal.args);
    signals_.push_back(std::move(signal));
}

BusSubscription BusConnection::subscribe(const std::string& matchRule) {
    sd_bus_slot* slot = nullptr;
    auto deliver = [](sd_bus_message* message, void* self, sd_bus_error*) {
        static_cast<BusConnection*>(self)->queueSignal(message);
        return 0;
    };
    int r = sd_bus_add_match(bus_, &slot, matchRule.c_str(), deliver, this);
    if (r < 0) {
        reportFailure("sd_bus_add_match", matchRule, r);
        return {};
    }
    return BusSubscription(slot);
}

bool BusConnection::process() {
    int r = 0;
    while (!broken_ && (r = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (r < 0) {
        broken_ = true;
    }
    return !broken_;
}

std::optional<BusSignal> BusConnection::nextSignal(std::chrono::milliseconds timeout) {
    const uint64_t deadline = monotonicMicroseconds() + toMicroseconds(timeout);
    for (;;) {
        if (signals_.empty()) {
            process();
        }
        if (!signals_.empty()) {
            BusSignal signal = std::move(signals_.front());
            signals_.pop_front();
            return signal;
        }
        const uint64_t now = monotonicMicroseconds();
        if (broken_ || now >= deadline || sd_bus_wait(bus_, deadline - now) < 0) {
            return std::nullopt;
        }
    }
}

bool BusConnection::requestName(const std::string& name) {
    int r = sd_bus_request_name(bus_, name.c_str(), 0);
    if (r == -EEXIST) {
        return false;
    }
    if (r < 0 && r != -EALREADY) {
        reportFailure("sd_bus_request_name", name, r);
        return false;
    }
    return true;
}

std::string BusConnection::uniqueName() const {
    const char* name = nullptr;
    return sd_bus_get_unique_name(bus_, &name) >= 0 ? orEmpty(name) : "";
}

int BusConnection::fd() const { return sd_bus_get_fd(bus_); }

short BusConnection::events() const {
    int events = sd_bus_get_events(bus_);
    return static_cast<short>(events < 0 ? 0 : events);
}

int BusConnection::timeoutMs() const {
    uint64_t until = 0;
    if (!signals_.empty()) {
        return 0;
    }
    if (sd_bus_get_timeout(bus_, &until) < 0 || until == UINT64_MAX) {
        return -1;
    }
    const uint64_t now = monotonicMicroseconds();
    return until <= now ? 0 : static_cast<int>(std::min<uint64_t>((until - now + 999) / 1000, INT32_MAX));
}

// ---- Reading dictionaries -----------------------------------------------------

std::optional<int64_t> dictInteger(const BusDict& dict, const std::string& key) {
    auto found = dict.find(key);
    if (found == dict.end()) {
        return std::nullopt;
    }
    return std::visit(
        [](const auto& v) -> std::optional<int64_t> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t> ||
                          std::is_same_v<T, int64_t>) {
                return static_cast<int64_t>(v);
            } else if constexpr (std::is_same_v<T, uint64_t>) {
                return v <= static_cast<uint64_t>(INT64_MAX) ? std::optional<int64_t>(static_cast<int64_t>(v))
                                                             : std::nullopt;
            } else {
                return std::nullopt;
            }
        },
        found->second);
}

std::optional<double> dictNumber(const BusDict& dict, const std::string& key) {
    if (const double* d = dictValue<double>(dict, key)) {
        return *d;
    }
    auto integer = dictInteger(dict, key);
    return integer ? std::optional<double>(static_cast<double>(*integer)) : std::nullopt;
}

} // namespace kelvara
