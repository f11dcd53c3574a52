#include "host/run_lock_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "settings/failure_line.h"
#include "settings/printable_text.h"

namespace kelvara {

std::string waylandRunLockPath(const char* runtimeDir, const char* waylandDisplay) {
    if (!runtimeDir || !*runtimeDir)
        return {};
    // The default display's name as libwayland uses it; a name given as a
    // path becomes one file name, so every display has a lock of its own.
    std::string name = waylandDisplay && *waylandDisplay ? waylandDisplay : "wayland-0";
    for (char& c : name)
        if (c == '/')
            c = '_';
    return std::string(runtimeDir) + "/kelvara-" + name + ".lock";
}

RunLock::~RunLock() {
    if (fd_ >= 0)
        close(fd_);
}

RunLock::Claim RunLock::claim(const std::string& path) {
    if (fd_ >= 0)
        return Claim::Taken;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        reportFailure("open(\"%s\"): %s; a second full-screen run cannot be told apart",
                      printableExcerpt(path).c_str(), std::strerror(errno));
        return Claim::Unavailable;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK)
            return Claim::HeldElsewhere;
        reportFailure("flock(\"%s\"): %s; a second full-screen run cannot be told apart",
                      printableExcerpt(path).c_str(), std::strerror(error));
        return Claim::Unavailable;
    }
    fd_ = fd;
    return Claim::Taken;
}

} // namespace kelvara
