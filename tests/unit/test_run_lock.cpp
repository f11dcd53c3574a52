// The lock that tells a second full-screen Wayland run that one runs already.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
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
        {"/run/user/1000", "", "/run/user/1000/kelvara-wayland-0.lock"},
        // A display named by its socket's path: still one file of the folder.
        {"/run/user/1000", "/tmp/w/wayland-2", "/run/user/1000/kelvara-_tmp_w_wayland-2.lock"},
        {nullptr, "wayland-1", ""},
        {"", "wayland-1", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(waylandRunLockPath(c.runtimeDir, c.display), c.path)
            << (c.runtimeDir ? c.runtimeDir : "(unset)") << " " << (c.display ? c.display : "(unset)");
}

TEST(RunLock, heldByOneRunUntilItsProcessEndsHoweverItEnds) {
    const fs::path path = fs::temp_directory_path() / ("kelvara-lock-" + std::to_string(getpid()));
    fs::remove(path);
    {
        RunLock first, second;
        EXPECT_EQ(first.claim(path), RunLock::Claim::Taken);
        EXPECT_EQ(second.claim(path), RunLock::Claim::HeldElsewhere);
    }
    // A run killed while it holds the lock gives it up all the same.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        RunLock held;
        const char word = held.claim(path) == RunLock::Claim::Taken ? 'T' : 'F';
        if (write(ready[1], &word, 1) == 1)
            pause();
        _exit(0);
    }
    char word = 0;
    ASSERT_EQ(read(ready[0], &word, 1), 1);
    EXPECT_EQ(word, 'T');
    RunLock meanwhile;
    EXPECT_EQ(meanwhile.claim(path), RunLock::Claim::HeldElsewhere);
    kill(pid, SIGKILL);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    RunLock after;
    EXPECT_EQ(after.claim(path), RunLock::Claim::Taken);
    close(ready[0]);
    close(ready[1]);
    fs::remove(path);

    // No folder to hold it: said, and the run goes on.
    RunLock nowhere;
    EXPECT_EQ(nowhere.claim((path / "missing" / "x.lock").string()), RunLock::Claim::Unavailable);
}
#endif
