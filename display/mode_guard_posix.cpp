// The mode guard's process: forked twice (so it is nobody's child that
// anyone waits for), in a session of its own (no terminal, none of the
// terminal's signals), with nothing of the saver's open but its end of the
// socket and standard error.
// Limits: Linux (close_range); the guard outlives the saver only as long as
// its restore takes.
#include "display/mode_guard_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings/failure_line.h"

namespace kelvara {

namespace {

constexpr char kArmed = 'S';
constexpr char kDisarmed = 'R';
constexpr char kReady = 'G';
constexpr int kGuardFd = 3;
// How long the saver waits for the guard to say it runs.
constexpr int kReadyTimeoutMs = 2000;

// Leaves the guard's process with standard input and output on /dev/null,
// standard error as it was, the socket at kGuardFd and nothing else open, and
// every signal as a fresh process has it.
void settleGuard(int socketFd) {
    const int devNull = open("/dev/null", O_RDWR);
    // Out of the way of the numbers it is to take.
    if (socketFd <= kGuardFd)
        socketFd = fcntl(socketFd, F_DUPFD, kGuardFd + 1);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO})
        dup2(devNull, fd);
    dup2(socketFd, kGuardFd);
    if (close_range(kGuardFd + 1, ~0U, 0) != 0)
        for (int fd = kGuardFd + 1; fd < 65536; ++fd)
            close(fd);
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &plain, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// The guard itself: waits for the saver's end to close, then restores if the
// last word was "armed".
[[noreturn]] void runGuard(const std::function<void()>& restore) {
    char state = kDisarmed;
    for (;;) {
        char words[64];
        const ssize_t n = read(kGuardFd, words, sizeof words);
        if (n > 0) {
            state = words[n - 1];
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (state == kArmed)
        restore();
    _exit(0);
}

// The guard's first word, once it runs with nothing of the saver's but the socket.
bool heardReady(int socketFd) {
    pollfd in{socketFd, POLLIN, 0};
    char word = 0;
    for (;;) {
        const int ready = poll(&in, 1, kReadyTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = read(socketFd, &word, 1);
        if (n < 0 && errno == EINTR)
            continue;
        return n == 1 && word == kReady;
    }
}

void reportNotStarted(const char* call, const std::string& reason) {
    reportFailure("%s for the display mode's guard: %s; a crash of this run would leave the display switched",
                  call, reason.c_str());
}

} // namespace

ModeGuard::~ModeGuard() {
    if (socket_ >= 0)
        close(socket_);
}

bool ModeGuard::start(std::function<void()> restore) {
    if (socket_ >= 0)
        return true;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        reportNotStarted("socketpair", std::strerror(errno));
        return false;
    }
    const pid_t first = fork();
    if (first == 0) {
        setsid();
        const pid_t guard = fork();
        if (guard != 0)
            _exit(guard < 0 ? std::min(errno, 255) : 0);
        settleGuard(ends[0]);
        const char ready = kReady;
        if (write(kGuardFd, &ready, 1) != 1)
            _exit(0);
        runGuard(restore);
    }
    const int forkError = errno;
    close(ends[0]);
    int status = 0;
    while (first > 0 && waitpid(first, &status, 0) < 0 && errno == EINTR) {
    }
    // The first fork's failure, the inner one's (its errno as the first
    // child's exit status), or a guard that ended before it said it runs.
    std::string reason;
    if (first < 0)
        reason = std::strerror(forkError);
    else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        reason = WIFEXITED(status) ? std::strerror(WEXITSTATUS(status)) : "its first process was killed";
    else if (!heardReady(ends[1]))
        reason = "the guard ended before it ran";
    if (!reason.empty()) {
        reportNotStarted("fork", reason);
        close(ends[1]);
        return false;
    }
    socket_ = ends[1];
    return true;
}

void ModeGuard::arm() {
    tell(kArmed);
}

void ModeGuard::disarm() {
    tell(kDisarmed);
}

void ModeGuard::tell(char state) {
    if (socket_ < 0 || told_ == state)
        return;
    // MSG_NOSIGNAL: a guard that is gone must not end the saver by SIGPIPE.
    if (send(socket_, &state, 1, MSG_NOSIGNAL) == 1)
        told_ = state;
}

} // namespace kelvara
