// The mode guard's process: forked twice (so it is nobody's child that
// anyone waits for), in a session of its own (no terminal, none of the
// terminal's signals), with nothing of the saver's open but its end of the
// socket and standard error.
// Limits: Linux (close_range); the guard outlives the saver only as long as
// its restore takes.
#include "display/mode_guard_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/failure_line.h"

namespace kelvara {

namespace {

constexpr char kArmed = 'S';
constexpr char kDisarmed = 'R';
constexpr int kGuardFd = 3;

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
        reportFailure("socketpair for the display mode's guard: %s", std::strerror(errno));
        return false;
    }
    const pid_t first = fork();
    if (first == 0) {
        setsid();
        if (fork() != 0)
            _exit(0);
        settleGuard(ends[0]);
        runGuard(restore);
    }
    close(ends[0]);
    if (first < 0) {
        reportFailure("fork for the display mode's guard: %s", std::strerror(errno));
        close(ends[1]);
        return false;
    }
    while (waitpid(first, nullptr, 0) < 0 && errno == EINTR) {
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
