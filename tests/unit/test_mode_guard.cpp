// The mode guard's own process, apart from any display: whatever its restore
// does (here: write a file) happens after the guarded process dies armed, and
// only then.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// The tasks (processes and their threads) whose real user is `uid`, as the
// kernel counts them against RLIMIT_NPROC.
rlim_t tasksOf(uid_t uid) {
    rlim_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        // Processes only: /proc/self would count this one twice.
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream status(entry.path() / "status");
        std::string key;
        uid_t real = 0;
        while (status >> key)
            if (key == "Uid:" && (status >> real))
                break;
        std::error_code error;
        if (!status || real != uid)
            continue;
        for (auto it = fs::directory_iterator(entry.path() / "task", error);
             !error && it != fs::directory_iterator(); it.increment(error))
            ++count;
    }
    return count;
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
// The guard's inner fork failing (here: one process too many for the user)
// must be told as a guard that did not start, not passed off as one that runs.
TEST(ModeGuard, aGuardThatCannotStartSaysSoInOneLine) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to run as a user with no other process";
    const fs::path errors = markerPath("errors");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(3);
        // This process and the guard's first one are all the user may have.
        const rlimit limit{tasksOf(kNobody) + 1, tasksOf(kNobody) + 1};
        if (setrlimit(RLIMIT_NPROC, &limit) != 0)
            _exit(3);
        ModeGuard guard;
        const bool started = guard.start([] {});
        _exit(started ? 0 : guard.running() ? 4 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::ifstream in(errors);
    const std::string said{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fs::remove(errors);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not set the test up";
    EXPECT_EQ(WEXITSTATUS(status), 1) << "a guard whose fork failed was reported as running";
    EXPECT_EQ(said, "kelvara: fork for the display mode's guard: Resource temporarily unavailable; a crash "
                    "of this run would leave the display switched\n");
}
#endif
