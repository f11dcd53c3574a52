// What the saver says when its Wayland connection breaks, against the real
// client library: a compositor of the test's own (libwayland-server over a
// socket pair) raises a protocol error on one of the client's objects, or
// drops the client.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <wayland-server-core.h>

#include "display/connection_wayland.h"

namespace kelvara {
namespace {

class BrokenConnection : public ::testing::Test {
  protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        server_ = wl_display_create();
        client_ = wl_client_create(server_, fds[0]);
        display_ = wl_display_connect_to_fd(fds[1]);
        ASSERT_TRUE(server_ && client_ && display_);
        // The client's first object after wl_display: the registry, id 2.
        registry_ = wl_display_get_registry(display_);
        wl_display_flush(display_);
        wl_event_loop_dispatch(wl_display_get_event_loop(server_), 1000);
        wl_display_flush_clients(server_);
    }
    void TearDown() override {
        if (registry_)
            wl_registry_destroy(registry_);
        if (display_)
            wl_display_disconnect(display_);
        if (server_)
            wl_display_destroy(server_); // its clients with it
    }

    wl_display* server_ = nullptr;
    wl_client* client_ = nullptr;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
};

TEST_F(BrokenConnection, aProtocolErrorNamesTheObjectAndTheCodeAndFailsTheRun) {
    wl_resource* registry = wl_client_get_object(client_, 2);
    ASSERT_NE(registry, nullptr);
    wl_resource_post_error(registry, 7, "the test's own error");
    wl_display_flush_clients(server_);

    EXPECT_FALSE(dispatchWithin(display_, nullptr, 1000));
    const ConnectionFault fault = connectionFault(display_);
    EXPECT_TRUE(fault.protocolError);
    EXPECT_NE(fault.line.find("protocol error 7 on wl_registry@2"), std::string::npos) << fault.line;
    EXPECT_EQ(fault.line.find('\n'), std::string::npos);
}

TEST_F(BrokenConnection, aCompositorThatGoesAwayIsNoProtocolError) {
    wl_client_destroy(client_); // closes the compositor's end
    client_ = nullptr;

    EXPECT_FALSE(dispatchWithin(display_, nullptr, 1000));
    const ConnectionFault fault = connectionFault(display_);
    EXPECT_FALSE(fault.protocolError);
    EXPECT_NE(fault.line.find("went away"), std::string::npos) << fault.line;
}

} // namespace
} // namespace kelvara
