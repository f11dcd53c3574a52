#include "unit/null_platform.h"

#include "capture/capture.h"
#include "recording_gl.h"
#include "scene/frame.h"

namespace kelvara::test {

bool NotedStore::write(std::span<const StoredValue> values) {
    platform_.note(platform_.drawing() ? "save while drawing" : "save");
    return MemoryStore::write(values);
}

NullPlatform::NullPlatform() {
    fakeDisplay.noted = [this](FakeDisplay::Kind kind) {
        if (kind == FakeDisplay::Kind::Change)
            note("display change");
        else if (kind == FakeDisplay::Kind::Reset)
            note("display reset");
        else if (kind == FakeDisplay::Kind::PrepareSwitch)
            note("display guard");
    };
    // Frames are counted, not kept: a run draws many.
    glrec::reset();
    glrec::setMode(glrec::Mode::Count);
}

NullPlatform::~NullPlatform() {
    renderRunning.store(0);
    if (thread_.joinable())
        thread_.join();
    glrec::setMode(glrec::Mode::Record);
}

void NullPlatform::note(const std::string& entry) {
    std::lock_guard lock(mutex_);
    log_.push_back(entry);
}

void NullPlatform::forget() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

std::vector<std::string> NullPlatform::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

bool NullPlatform::waitForEnd(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, limit, [this] { return ended_; });
}

void NullPlatform::input() {
    std::lock_guard lock(mutex_);
    ended_ = true;
    wake_.notify_all();
}

void NullPlatform::requestEnd() {
    ++requestedEnds_;
    input();
}

bool NullPlatform::waitForFrames(uint64_t frames) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (frames_.load() < frames && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return frames_.load() >= frames;
}

CaptureOutcome NullPlatform::captureMonitors(const std::vector<MonitorView>& monitors, const Settings& settings,
                                             bool preview, std::vector<CaptureBuffer>& pictures) {
    note(preview ? "capture preview" : "capture");
    pictures.clear();
    if (capture != CaptureOutcome::Taken)
        return capture;
    const CaptureSize size = captureSize(settings, preview);
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        CaptureBuffer out;
        out.width = size.width;
        out.height = size.height;
        // Each monitor's picture a grey of its own.
        out.bgr.assign(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 3,
                       static_cast<uint8_t>(0x80 + i));
        pictures.push_back(std::move(out));
    }
    return CaptureOutcome::Taken;
}

void NullPlatform::showWindow(bool switched) {
    note(switched ? "show switched" : "show");
}

bool NullPlatform::startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors, ThreadPriority,
                                const RenderThreadOptions& options) {
    note("start drawing");
    startedWith = options;
    if (!threadStarts)
        return false;
    drawn = monitors;
    threadMonitors_ = std::move(monitors);
    threadRunning_.store(true);
    thread_ = std::thread([this, own = settings, options]() mutable {
        if (!glWorks) {
            options.cannotDraw();
        } else {
            std::vector<Scene> scenes(threadMonitors_.size(), Scene([] { return 0.0; }));
            std::vector<Scene*> pointers;
            for (Scene& scene : scenes)
                pointers.push_back(&scene);
            RenderSurface surface{320, 240, [] {}};
            RenderThreadOptions watched = options;
            watched.observer = [this, &options](uint64_t frame) {
                frames_.store(frame);
                if (options.observer)
                    options.observer(frame);
            };
            watched.presetPicked = [this, &options](Preset preset) {
                preset_.store(preset);
                options.presetPicked(preset);
            };
            runRenderLoop(pointers, own, threadMonitors_, surface, 7u, renderRunning, watched);
        }
        threadRunning_.store(false);
    });
    return true;
}

bool NullPlatform::stopDrawing(unsigned) {
    if (joinTimesOut) {
        note("stop drawing timed out");
        return false;
    }
    thread_.join();
    note("stop drawing");
    return true;
}

} // namespace kelvara::test
