#pragma once

// A saver platform without a window system, for running whole sessions in
// tests: the desktop is a grey picture, the display is a FakeDisplay, the
// render thread is a real thread running the render loop against the
// recording GL, and "input" is a call. Every call the session makes on it is
// noted, in order, in `log`.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/saver_session.h"
#include "settings/store_memory.h"
#include "unit/fake_display.h"

namespace kelvara::test {

class NullPlatform;

// A store in memory whose writes are noted in the platform's log, with
// whether the render thread was still running then.
class NotedStore : public MemoryStore {
  public:
    explicit NotedStore(NullPlatform& platform) : platform_(platform) {}
    bool write(std::span<const StoredValue> values) override;

  private:
    NullPlatform& platform_;
};

class NullPlatform final : public SaverPlatform {
  public:
    NullPlatform();
    ~NullPlatform() override;

    // What the test lets go wrong.
    CaptureOutcome capture = CaptureOutcome::Taken;
    bool threadStarts = true;
    bool glWorks = true;       // false: the thread reports it cannot draw, as without a context
    bool joinTimesOut = false; // stopDrawing gives up; the thread is joined by the destructor
    bool glPrepared = true;    // false: the preparation found nothing to draw with
    bool switchesModes = true; // false: a platform without display modes to switch

    FakeDisplay fakeDisplay;
    NotedStore store{*this};
    RenderThreadOptions startedWith; // what the session asked the render thread for

    // The host's event loop: true once input() or requestEnd() has ended the
    // run, false after `limit`.
    bool waitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // A key press.
    void input();
    // Waits until the render thread has drawn `frames` frames; false after 20 s.
    bool waitForFrames(uint64_t frames);

    std::vector<std::string> log() const;
    void note(const std::string& entry);
    void forget(); // clears the log
    bool drawing() const { return threadRunning_.load(); }
    std::optional<Preset> presetPicked() const { return preset_.load(); }
    int requestedEnds() const { return requestedEnds_.load(); }

    // The monitors the window covers: one 320 x 240 unless a test lays out more.
    std::vector<MonitorView> layout = {MonitorView{ScreenRect{0, 0, 320, 240}, ScreenRect{0, 0, 320, 240}, true, ""}};
    // What the render thread was handed: each monitor's viewport and picture size.
    std::vector<MonitorDraw> drawn;

    std::vector<MonitorView> monitors() override { return layout; }
    CaptureOutcome captureMonitors(const std::vector<MonitorView>& monitors, const Settings& settings, bool preview,
                                   std::vector<CaptureBuffer>& pictures) override;
    DisplayBackend* displayModes() override { return switchesModes ? &fakeDisplay : nullptr; }
    void prepareDrawing() override { note("prepare drawing"); }
    bool drawingReady() override { return glPrepared; }
    void showWindow(bool switched) override;
    bool startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                      ThreadPriority threadPriority, const RenderThreadOptions& options) override;
    bool stopDrawing(unsigned timeoutMs) override;
    void requestEnd() override;
    void report(const std::string& line) override { note("report: " + line); }
    void showError(const std::string& text) override { note("error: " + text); }

  private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> log_;
    bool ended_ = false;
    std::thread thread_;
    std::vector<MonitorDraw> threadMonitors_;
    std::atomic<bool> threadRunning_{false};
    std::atomic<uint64_t> frames_{0};
    std::atomic<std::optional<Preset>> preset_{};
    std::atomic<int> requestedEnds_{0};
};

} // namespace kelvara::test
