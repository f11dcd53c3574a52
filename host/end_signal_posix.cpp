#include "host/end_signal_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace kelvara {

namespace {

// Process-wide by necessity: a signal handler has no object to reach.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    wakeToEnd();
}

} // namespace

void wakeToEnd() {
    const int saved = errno;
    const char byte = 1;
    if (signalPipe[1] >= 0) [[maybe_unused]]
        const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool installEndSignals() {
    if (pipe(signalPipe) != 0)
        return false;
    for (int fd : signalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

int endSignalFd() {
    return signalPipe[0];
}

} // namespace kelvara
