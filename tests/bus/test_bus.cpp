// The D-Bus layer against a private dbus-daemon, with a python3-dbusmock
// service where a peer must answer: what the saver meets on real desktops
// (missing buses and services, peers that never answer, fds, option maps,
// signals for a poll loop).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bus/bus.h"

extern char** environ;

namespace kelvara {
namespace {

using namespace std::chrono_literals;

const char* kService = "com.example.Kelvara";
const char* kPath = "/com/example/Kelvara";

// Starts `argv` with `extraEnv` added; its stdout into `out` (or /dev/null).
pid_t spawn(const std::vector<std::string>& argv, const std::string& extraEnv, int* out) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    if (!extraEnv.empty()) env.push_back(const_cast<char*>(extraEnv.c_str()));
    env.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out) {
        EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    EXPECT_EQ(posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data()), 0) << argv[0];
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        close(pipeFds[1]);
        *out = pipeFds[0];
    }
    return pid;
}

void stop(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

// A private bus: its daemon's pid and address.
struct PrivateBus {
    pid_t daemon = -1;
    std::string address;
    PrivateBus() {
        int out = -1;
        daemon = spawn({"dbus-daemon", "--session", "--nofork", "--print-address"}, "", &out);
        char c = 0;
        while (read(out, &c, 1) == 1 && c != '\n') address += c;
        close(out);
    }
    ~PrivateBus() { stop(daemon); }
};

class BusTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        bus_ = new PrivateBus;
        mock_ = spawn({"/usr/bin/python3", "-m", "dbusmock", kService, kPath, kService},
                      "DBUS_SESSION_BUS_ADDRESS=" + bus_->address, nullptr);
        auto connection = BusConnection::openAddress(bus_->address);
        ASSERT_TRUE(connection);
        BusCall hasOwner{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         {std::string(kService)}};
        for (int i = 0; i < 200 && connection->call(hasOwner, 1s).values != std::vector<BusArg>{true}; ++i) {
            usleep(50000);
        }
        addMethod(*connection, "Echo", "a{sv}", "a{sv}", "ret = args[0]");
        addMethod(*connection, "WriteTo", "hs", "",
                  "import os\nfd = args[0].take()\nos.write(fd, args[1].encode())\nos.close(fd)");
        addMethod(*connection, "Ping", "u", "",
                  "self.EmitSignal('com.example.Kelvara', 'Pong', 'us', [args[0], 'pong'])");
    }
    static void TearDownTestSuite() {
        stop(mock_);
        delete bus_;
    }
    static void addMethod(BusConnection& connection, const char* name, const char* in, const char* out,
                          const char* code) {
        BusReply reply = connection.call({kService, kPath, "org.freedesktop.DBus.Mock", "AddMethod",
                                          {std::string(kService), std::string(name), std::string(in),
                                           std::string(out), std::string(code)}},
                                         5s);
        ASSERT_TRUE(reply.ok()) << reply.error();
    }
    static BusCall mockCall(const char* member, std::vector<BusArg> args) {
        return {kService, kPath, kService, member, std::move(args)};
    }
    static PrivateBus* bus_;
    static pid_t mock_;
};
PrivateBus* BusTest::bus_ = nullptr;
pid_t BusTest::mock_ = -1;

TEST(Bus, missingBusIsOneLineAndNoConnection) {
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::string restore = saved ? saved : "";
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kelvara-bus", 1);
    for (bool byAddress : {false, true}) {
        testing::internal::CaptureStderr();
        auto connection = byAddress ? BusConnection::openAddress("unix:path=/nonexistent/kelvara-bus")
                                    : BusConnection::open(BusKind::Session);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(connection);
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(byAddress ? "sd_bus_start" : "sd_bus_open_user"), std::string::npos) << said;
    }
    if (saved) setenv("DBUS_SESSION_BUS_ADDRESS", restore.c_str(), 1);
    else unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

TEST(Bus, aBusThatGoesAwayEndsCallsAndWaits) {
    PrivateBus bus;
    auto connection = BusConnection::openAddress(bus.address);
    ASSERT_TRUE(connection);
    BusSubscription all = connection->subscribe("type='signal'");
    stop(bus.daemon);
    EXPECT_FALSE(connection->call({"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "GetId", {}},
                                  5s)
                     .ok());
    EXPECT_FALSE(connection->nextSignal(5s));
    EXPECT_FALSE(connection->process());
}

TEST_F(BusTest, missingServicesAndSilentPeersAnswerWithinTheTimeLimit) {
    auto connection = BusConnection::openAddress(bus_->address);
    auto silent = BusConnection::openAddress(bus_->address);
    ASSERT_TRUE(connection && silent);
    BusReply missing = connection->call({"org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2",
                                         "CaptureScreen", {}},
                                        5s);
    EXPECT_EQ(missing.errorName, "org.freedesktop.DBus.Error.ServiceUnknown");

    // A peer that owns its name but never reads its messages, like a portal
    // waiting on a dialog.
    ASSERT_TRUE(silent->requestName("com.example.Silent"));
    EXPECT_FALSE(connection->requestName("com.example.Silent"));
    auto start = std::chrono::steady_clock::now();
    BusReply late = connection->call({"com.example.Silent", "/", "com.example.Silent", "Never", {}}, 300ms);
    EXPECT_FALSE(late.ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << late.error();
}

TEST_F(BusTest, optionMapsAndFdsPassBothWays) {
    auto connection = BusConnection::openAddress(bus_->address);
    ASSERT_TRUE(connection);
    BusDict options{{"native-resolution", true}, {"handle_token", std::string("kelvara1")},
                    {"stride", uint32_t{4096}}, {"scale", 2.0}, {"offset", int64_t{-7}}};
    BusReply echo = connection->call(mockCall("Echo", {options}), 5s);
    ASSERT_TRUE(echo.ok()) << echo.error();
    ASSERT_EQ(echo.values.size(), 1u);
    EXPECT_EQ(std::get<BusDict>(echo.values[0]), options);
    const BusDict& back = std::get<BusDict>(echo.values[0]);
    EXPECT_EQ(dictInteger(back, "stride"), 4096);
    EXPECT_EQ(dictInteger(back, "offset"), -7);
    EXPECT_EQ(dictNumber(back, "stride"), 4096.0);
    EXPECT_EQ(dictNumber(back, "scale"), 2.0);
    EXPECT_FALSE(dictInteger(back, "scale"));
    EXPECT_FALSE(dictInteger(back, "absent"));

    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    BusReply wrote = connection->call(mockCall("WriteTo", {UnixFd{pipeFds[1]}, std::string("pixels")}), 5s);
    close(pipeFds[1]);
    ASSERT_TRUE(wrote.ok()) << wrote.error();
    char buffer[16] = {};
    // The service closed its copy: the read ends at the end of what it wrote.
    std::string got;
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) got.append(buffer, size_t(n));
    close(pipeFds[0]);
    EXPECT_EQ(got, "pixels");
}

TEST_F(BusTest, signalsReachWaitsAndPollLoops) {
    auto connection = BusConnection::openAddress(bus_->address);
    ASSERT_TRUE(connection);
    {
        BusSubscription pong = connection->subscribe("type='signal',interface='com.example.Kelvara',member='Pong'");
        ASSERT_TRUE(pong.active());
        EXPECT_FALSE(connection->nextSignal(100ms));
        ASSERT_TRUE(connection->call(mockCall("Ping", {uint32_t{7}}), 5s).ok());
        auto signal = connection->nextSignal(5s);
        ASSERT_TRUE(signal);
        EXPECT_EQ(signal->member, "Pong");
        EXPECT_EQ(signal->path, kPath);
        EXPECT_EQ(signal->args, (std::vector<BusArg>{uint32_t{7}, std::string("pong")}));

        // A host polls the connection: a signal that came in during a call
        // must not wait for the fd to be readable again.
        ASSERT_TRUE(connection->call(mockCall("Ping", {uint32_t{8}}), 5s).ok());
        std::optional<BusSignal> polled;
        for (int i = 0; i < 50 && !polled; ++i) {
            pollfd p{connection->fd(), connection->events(), 0};
            int limit = connection->timeoutMs();
            poll(&p, 1, limit < 0 || limit > 100 ? 100 : limit);
            ASSERT_TRUE(connection->process());
            polled = connection->nextSignal(0ms);
        }
        ASSERT_TRUE(polled);
        EXPECT_EQ(polled->args.front(), BusArg{uint32_t{8}});
    }
    // Once the subscription is gone, its signals no longer queue.
    ASSERT_TRUE(connection->call(mockCall("Ping", {uint32_t{9}}), 5s).ok());
    EXPECT_FALSE(connection->nextSignal(300ms));
}

} // namespace
} // namespace kelvara
