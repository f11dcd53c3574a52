// The mode guard's own process, apart from any display: whatever its restore
// does (here: write a file) happens after the guarded process dies armed, and
// only then.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "display/mode_guard_posix.h"

using namespace kelvara;

namespace {

namespace fs = std::filesystem;

fs::path markerPath(const char* name) {
    const fs::path path = fs::temp_directory_path() / ("kelvara-guard-" + std::to_string(getpid()) + "-" + name);
    fs::remove(path);
    return path;
}

// Runs `body` in a process of its own with guards whose restores write
// `armedMarker` and `otherMarker`, and waits for that process to end.
void guardedProcess(const fs::path& armedMarker, const fs::path& otherMarker,
                    const std::function<void(ModeGuard&, ModeGuard&)>& body) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ModeGuard armed, other;
        if (!armed.start([armedMarker] { std::ofstream(armedMarker) << "restored\n"; }) ||
            !other.start([otherMarker] { std::ofstream(otherMarker) << "restored\n"; }))
            _exit(2);
        body(armed, other);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
}

bool appearsWithin(const fs::path& path, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

TEST(ModeGuard, restoresOnlyWhatIsArmedWhenItsProcessIsKilled) {
    const fs::path armed = markerPath("armed");
    const fs::path disarmed = markerPath("disarmed");
    guardedProcess(armed, disarmed, [](ModeGuard& a, ModeGuard& d) {
        a.arm();
        d.arm();
        d.disarm();
        raise(SIGKILL);
    });
    EXPECT_TRUE(appearsWithin(armed, std::chrono::seconds(2)));
    // Both guards saw the end at once; give the other the same time again.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(disarmed)) << "a disarmed guard restored";
    fs::remove(armed);
}

TEST(ModeGuard, anOrdinaryExitRestoresWhatIsStillArmed) {
    const fs::path armed = markerPath("exit-armed");
    const fs::path never = markerPath("never-armed");
    guardedProcess(armed, never, [](ModeGuard& a, ModeGuard&) { a.arm(); });
    EXPECT_TRUE(appearsWithin(armed, std::chrono::seconds(2)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(never)) << "a guard never armed restored";
    fs::remove(armed);
}
#endif
