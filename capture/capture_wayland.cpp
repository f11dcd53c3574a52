// Desktop capture on Wayland: each output's picture from the first source
// that gives one: wlr-screencopy (wlroots), KWin's screenshot interface, the
// desktop portal (capture_services_wayland.h), else the logo with one line.
//
// Provides: captureOutputs. The screencopy copies go into shared-memory
// buffers of the first readable format the compositor offers (protocol 1-2:
// its only one; 3: of the shm ones it lists before buffer_done); readable are
// the 8-bit XRGB/ARGB and XBGR/ABGR ones. Each picture is turned upright
// (y-invert, the output's transform) and cut and scaled as every build does.
// Limits: no dmabuf copies; the cursor is left out of the picture; a compositor
// that takes more than kCopyTimeoutMs for all outputs gets the logo.
#include "capture/capture_wayland.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/capture.h"
#include "capture/capture_services_wayland.h"
#include "capture/screencopy_image.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

constexpr int kCopyTimeoutMs = 3000;

struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    void* data = MAP_FAILED;
    std::size_t size = 0;

    ~ShmBuffer() {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (data != MAP_FAILED)
            munmap(data, size);
    }
};

// One output's copy on its way.
struct OutputCopy {
    WaylandConnection* connection = nullptr;
    zwlr_screencopy_frame_v1* frame = nullptr;
    uint32_t format = 0;
    int32_t width = 0, height = 0, stride = 0;
    bool offered = false; // an shm buffer was described
    bool asked = false;   // copy was sent
    bool yInvert = false;
    bool done = false;
    bool ok = false;
    std::string why; // empty when ok
    ShmBuffer shm;
};

bool makeShmBuffer(wl_shm* shm, OutputCopy& copy) {
    copy.shm.size = static_cast<std::size_t>(copy.stride) * static_cast<std::size_t>(copy.height);
    const int fd = memfd_create("kelvara-screencopy", MFD_CLOEXEC);
    if (fd < 0) {
        copy.why = std::string("memfd_create: ") + std::strerror(errno);
        return false;
    }
    if (ftruncate(fd, static_cast<off_t>(copy.shm.size)) != 0) {
        copy.why = std::string("ftruncate: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    copy.shm.data = mmap(nullptr, copy.shm.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (copy.shm.data == MAP_FAILED) {
        copy.why = std::string("mmap: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(copy.shm.size));
    copy.shm.buffer = wl_shm_pool_create_buffer(pool, 0, copy.width, copy.height, copy.stride, copy.format);
    wl_shm_pool_destroy(pool);
    close(fd);
    return true;
}

void startCopy(OutputCopy& copy) {
    if (copy.asked || copy.done)
        return;
    copy.asked = true;
    PackedImage probe;
    if (!copy.offered) {
        copy.why = "no shared-memory buffer offered";
    } else if (!shmFormatLayout(copy.format, probe)) {
        char text[64];
        std::snprintf(text, sizeof text, "pixel format 0x%08x cannot be read", copy.format);
        copy.why = text;
    } else if (copy.width <= 0 || copy.height <= 0 || copy.stride < copy.width * 4) {
        copy.why = "a buffer of no size";
    } else if (makeShmBuffer(copy.connection->shm, copy)) {
        zwlr_screencopy_frame_v1_copy(copy.frame, copy.shm.buffer);
        return;
    }
    copy.done = true;
}

void frameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
    auto* copy = static_cast<OutputCopy*>(data);
    // Version 3 lists every shm format it can copy into before buffer_done.
    if (copy->asked || !takesShmOffer(copy->offered, copy->format, format))
        return;
    copy->offered = true;
    copy->format = format;
    copy->width = static_cast<int32_t>(width);
    copy->height = static_cast<int32_t>(height);
    copy->stride = static_cast<int32_t>(stride);
    // Before version 3 this is the only description: copy at once.
    if (zwlr_screencopy_frame_v1_get_version(copy->frame) < 3)
        startCopy(*copy);
}

void frameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<OutputCopy*>(data)->yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}

void frameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    auto* copy = static_cast<OutputCopy*>(data);
    copy->ok = true;
    copy->done = true;
}

void frameFailed(void* data, zwlr_screencopy_frame_v1*) {
    auto* copy = static_cast<OutputCopy*>(data);
    copy->why = "the compositor refused the copy";
    copy->done = true;
}

void frameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void frameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}

void frameBufferDone(void* data, zwlr_screencopy_frame_v1*) {
    startCopy(*static_cast<OutputCopy*>(data));
}

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    frameBuffer, frameFlags, frameReady, frameFailed, frameDamage, frameDmabuf, frameBufferDone};

bool allDone(const std::vector<std::unique_ptr<OutputCopy>>& copies) {
    for (const auto& copy : copies)
        if (!copy->done)
            return false;
    return true;
}

void waitForCopies(WaylandConnection& c, std::vector<std::unique_ptr<OutputCopy>>& copies) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kCopyTimeoutMs);
    while (!allDone(copies)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !dispatchWithin(c.display, nullptr, static_cast<int>(left)))
            break;
    }
    for (auto& copy : copies)
        if (!copy->done) {
            copy->done = true;
            copy->why = "no answer within " + std::to_string(kCopyTimeoutMs) + " ms";
        }
}

bool pictureOf(const OutputCopy& copy, int32_t transform, const CaptureSize& size, CaptureBuffer& out) {
    ScreencopyPicture picture;
    shmFormatLayout(copy.format, picture.pixels);
    picture.pixels.data = static_cast<const uint8_t*>(copy.shm.data);
    picture.pixels.width = copy.width;
    picture.pixels.height = copy.height;
    picture.pixels.bytesPerLine = copy.stride;
    picture.transform = transform;
    picture.yInvert = copy.yInvert;
    std::vector<uint8_t> storage;
    return scaleToCapture(uprightPicture(picture, storage), size.width, size.height, out);
}

// The screencopy of every output; false with the reason in `why` when no
// output's picture came.
bool captureScreencopy(WaylandConnection& c, const CaptureSize& size, std::vector<CaptureBuffer>& pictures,
                       std::string& why) {
    if (!c.screencopy || !c.shm) {
        why = "screencopy: not offered";
        return false;
    }
    std::vector<std::unique_ptr<OutputCopy>> copies;
    for (const auto& output : c.outputs) {
        auto copy = std::make_unique<OutputCopy>();
        copy->connection = &c;
        copy->frame = zwlr_screencopy_manager_v1_capture_output(c.screencopy, 0, output->output);
        zwlr_screencopy_frame_v1_add_listener(copy->frame, &kFrameListener, copy.get());
        copies.push_back(std::move(copy));
    }
    waitForCopies(c, copies);

    pictures.resize(copies.size());
    std::string failures;
    std::size_t taken = 0;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        OutputCopy& copy = *copies[i];
        if (copy.ok && pictureOf(copy, c.outputs[i]->geometry.transform, size, pictures[i]))
            ++taken;
        else
            failures += (failures.empty() ? "" : "; ") + c.outputs[i]->geometry.name + ": " +
                        (copy.why.empty() ? std::string("an unreadable picture") : copy.why);
        zwlr_screencopy_frame_v1_destroy(copy.frame);
    }
    if (taken == 0) {
        pictures.clear();
        why = "screencopy: " + (failures.empty() ? std::string("no outputs") : failures);
        return false;
    }
    if (!failures.empty())
        reportFailure("zwlr_screencopy_frame_v1: %s; that output shows the first one's picture",
                      failures.c_str());
    return true;
}

// The sources behind screencopy, over the session bus: KWin's screenshot
// interface, then the desktop portal.
bool captureOverBus(WaylandConnection& c, const CaptureSize& size, std::vector<CaptureBuffer>& pictures,
                    std::string& why) {
    std::string missing;
    std::unique_ptr<BusConnection> bus = BusConnection::open(BusKind::Session, &missing);
    if (!bus) {
        why += "; KWin's screenshot interface and the desktop portal: " + missing;
        return false;
    }
    const std::vector<OutputGeometry> outputs = outputGeometries(c);
    std::string reason;
    if (captureKwin(*bus, outputs, size, pictures, reason)) {
        if (!reason.empty())
            reportFailure("org.kde.KWin.ScreenShot2: %s; that output shows the first one's picture",
                          reason.c_str());
        return true;
    }
    why += "; KWin's org.kde.KWin.ScreenShot2: " + reason;
    if (capturePortal(*bus, outputs, size, pictures, reason))
        return true;
    why += "; the desktop portal's Screenshot: " + reason;
    return false;
}

} // namespace

CaptureOutcome captureOutputs(WaylandConnection& c, const Settings& settings, bool preview,
                              std::vector<CaptureBuffer>& pictures) {
    pictures.clear();
    const CaptureSize size = captureSize(settings, preview);
    std::string why;
    if (captureScreencopy(c, size, pictures, why) || captureOverBus(c, size, pictures, why))
        return CaptureOutcome::Taken;
    pictures.clear();
    reportFailure("no picture of the desktop (%s); showing the logo instead", why.c_str());
    return CaptureOutcome::Logo;
}

} // namespace kelvara
