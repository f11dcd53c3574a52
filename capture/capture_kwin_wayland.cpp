// Each output's picture from KWin over D-Bus (org.kde.KWin.ScreenShot2).
//
// Provides: captureKwin. KWin writes the raw pixels into a pipe and replies
// with their format (a QImage format), size, stride and scale; it answers only
// a program whose .desktop entry grants the interface
// (X-KDE-DBUS-Restricted-Interfaces) and whose first Exec= token is the
// caller's executable: the Debian package installs one, kelvara
// --grant-capture writes one for a build run from elsewhere.
// Limits: outputs are asked for one after the other; no picture while the
// session is locked (KWin refuses then); the cursor is left out.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "capture/capture_services_wayland.h"
#include "capture/stage_picture.h"

namespace kelvara {

namespace {

using namespace std::chrono_literals;

// KWin answers once it has drawn the next frame.
constexpr auto kCallTimeout = 3000ms;
constexpr auto kReadTimeout = 3000ms;

// Reads until the writer closes the pipe, `limit` bytes are in, or time is up.
bool readPipe(int fd, std::size_t limit, std::vector<uint8_t>& bytes, std::string& why) {
    const auto deadline = std::chrono::steady_clock::now() + kReadTimeout;
    bytes.clear();
    uint8_t chunk[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) == 0) {
            why = "the pixels did not come within " + std::to_string(kReadTimeout.count()) + " ms";
            return false;
        }
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            why = std::string("read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0 || bytes.size() + static_cast<std::size_t>(n) > limit) {
            bytes.insert(bytes.end(), chunk, chunk + std::min<std::size_t>(n, limit - bytes.size()));
            return true;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

bool captureScreen(BusConnection& bus, const OutputGeometry& output, const CaptureSize& size,
                   CaptureBuffer& out, std::string& why) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        why = std::string("pipe2: ") + std::strerror(errno);
        return false;
    }
    BusReply reply = bus.call({"org.kde.KWin",
                               "/org/kde/KWin/ScreenShot2",
                               "org.kde.KWin.ScreenShot2",
                               "CaptureScreen",
                               {output.name, BusDict{{"native-resolution", true}}, UnixFd{fds[1]}}},
                              kCallTimeout);
    // Our end closed, the pipe ends when KWin has written everything.
    close(fds[1]);
    const BusDict* results = reply.values.empty() ? nullptr : std::get_if<BusDict>(&reply.values[0]);
    if (!reply.ok() || !results) {
        why = reply.ok() ? "an answer without results" : reply.error();
        close(fds[0]);
        return false;
    }
    RawPicture raw;
    raw.format = static_cast<uint32_t>(dictInteger(*results, "format").value_or(0));
    raw.width = static_cast<int32_t>(dictInteger(*results, "width").value_or(0));
    raw.height = static_cast<int32_t>(dictInteger(*results, "height").value_or(0));
    raw.stride = static_cast<int32_t>(dictInteger(*results, "stride").value_or(0));
    // No more than the description promises: a wrong one cannot make us
    // read for ever.
    const std::size_t expected = raw.height > 0 && raw.stride > 0 ? static_cast<std::size_t>(raw.stride) *
                                                                        static_cast<std::size_t>(raw.height)
                                                                  : 0;
    std::vector<uint8_t> bytes;
    const bool read = readPipe(fds[0], expected, bytes, why);
    close(fds[0]);
    if (!read) {
        return false;
    }
    raw.bytes = bytes.data();
    raw.size = bytes.size();
    PackedImage image;
    std::vector<uint8_t> storage;
    if (!readRawPicture(raw, image, storage, why)) {
        return false;
    }
    if (!scaleToCapture(image, size.width, size.height, out)) {
        why = "an unreadable picture";
        return false;
    }
    return true;
}

} // namespace

bool captureKwin(BusConnection& bus, const std::vector<OutputGeometry>& outputs, const CaptureSize& size,
                 std::vector<CaptureBuffer>& pictures, std::string& why) {
    pictures.assign(outputs.size(), CaptureBuffer{});
    std::size_t taken = 0;
    std::string failures;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::string reason = "the output has no name";
        if (!outputs[i].name.empty() && captureScreen(bus, outputs[i], size, pictures[i], reason)) {
            ++taken;
            continue;
        }
        failures += (failures.empty() ? "" : "; ") + outputs[i].name + ": " + reason;
        // The same refusal for every output: ask no further.
        if (reason.find("org.freedesktop.DBus.Error.ServiceUnknown") != std::string::npos ||
            reason.find("NoAuthorized") != std::string::npos) {
            failures = reason;
            break;
        }
    }
    why = failures;
    if (taken == 0) {
        pictures.clear();
    }
    return taken > 0;
}

} // namespace kelvara
