// The lock that tells a second full-screen Wayland run that one runs already.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/run_lock_posix.h"

using namespace kelvara;

namespace fs = std::filesystem;

TEST(RunLock, eachWaylandDisplayHasALockFileInTheRuntimeFolder) {
    struct Case {
        const char* runtimeDir;
        const char* display;
        std::string path;
    };
    const Case cases[] = {
        {"/run/user/1000", "wayland-1", "/run/user/1000/kelvara-wayland-1.lock"},
        {"/run/user/1000", nullptr, "/run/user/1000/kelvara-wayland-0.lock"},
        // A display named by its socket's path: still one file of the folder.
        {"/run/user/1000", "/tmp/w/wayland-2", "/run/user/1000/kelvara-_tmp_w_wayland-2.lock"},
        {nullptr, "wayland-1", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(waylandRunLockPath(c.runtimeDir, c.display), c.path)
            << (c.runtimeDir ? c.runtimeDir : "(unset)") << " " << (c.display ? c.display : "(unset)");
}

// Two runs in one process stand for two processes: flock locks belong to
// the open file, so the second open of the same file is refused.
TEST(RunLock, heldByTheFirstRunUntilItEndsAndSaidWhereItCannotBeMade) {
    const fs::path path = fs::temp_directory_path() / ("kelvara-lock-" + std::to_string(getpid()));
    fs::remove(path);
    {
        RunLock first, second;
        EXPECT_EQ(first.claim(path), RunLock::Claim::Taken);
        EXPECT_EQ(second.claim(path), RunLock::Claim::HeldElsewhere);
    }
    RunLock after;
    EXPECT_EQ(after.claim(path), RunLock::Claim::Taken);
    fs::remove(path);

    RunLock nowhere;
    EXPECT_EQ(nowhere.claim((path / "missing" / "x.lock").string()), RunLock::Claim::Unavailable);
}
#endif
