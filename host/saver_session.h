#pragma once

// A saver run from start to end, the same for every platform: load the
// settings, take the desktop's picture, switch the display mode, draw, and at
// the end stop the drawing, save, give the display back and write the
// statistics. The platform (SaverPlatform) makes the window, pumps its events
// and turns input into "end the run"; the session decides the order and what
// a failure means.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_buffer.h"
#include "cli/run_control.h"
#include "cli/saver_options.h"
#include "display/display_modes.h"
#include "display/monitors.h"
#include "host/session_rules.h"
#include "render/frame_stats.h"
#include "render/render_host.h"
#include "settings/presets.h"
#include "settings/settings_store.h"

namespace kelvara {

// The calls a session makes on its platform, in the order it makes them. A
// platform file implements them over its window system; tests use a platform
// with none.
class SaverPlatform {
  public:
    virtual ~SaverPlatform() = default;

    // The monitors the saver window covers as things stand now, each as a
    // viewport of the window and the part of the desktop under it, the
    // primary first (layoutMonitors): every monitor for a full-screen window;
    // any other window is one monitor (a preview shows the primary's part of
    // the desktop). Asked before the capture and again after a mode switch.
    virtual std::vector<MonitorView> monitors() = 0;

    // Each monitor's picture from one grab of the desktop, in the order of
    // `monitors`, before any window of the saver shows (captureViews), into
    // `pictures`: empty, or pictures that hold nothing, when there is none to
    // take. Logo when there is none and the platform has already said, in one
    // line, that the logo is shown instead.
    virtual CaptureOutcome captureMonitors(const std::vector<MonitorView>& monitors, const Settings& settings,
                                           bool preview, std::vector<CaptureBuffer>& pictures) = 0;

    // The display whose mode a run that may switch modes switches; null
    // where a program cannot switch the display's mode.
    virtual DisplayBackend* displayModes() { return nullptr; }

    // Starts what drawing needs ahead of the window (the GL driver's start,
    // the longest step), on a thread of its own where the platform can, so
    // it runs while the desktop's picture is taken. Called once the settings
    // are loaded and the display's guard started: before this the process
    // has no thread but the main one.
    virtual void prepareDrawing() {}

    // Waits for that preparation. False when there is nothing to draw with
    // (the reason given): the run ends before the mode is switched or any
    // window shows.
    virtual bool drawingReady() { return true; }

    // Shows the saver window; after a mode switch (`switched`) it covers every
    // monitor as they are now.
    virtual void showWindow(bool switched) = 0;

    // Starts the render thread drawing each monitor's scene into its viewport
    // of the window, from its own copy of `settings`; the monitors and their
    // pictures become the thread's. False when no thread could start.
    virtual bool startDrawing(const Settings& settings, std::vector<MonitorDraw> monitors,
                              ThreadPriority threadPriority, const RenderThreadOptions& options) = 0;

    // Waits up to timeoutMs for the render thread to leave (renderRunning is 0
    // already). False at the timeout: the thread is left to end with the process.
    virtual bool stopDrawing(unsigned timeoutMs) = 0;

    // Ends the run as input would. Called from other threads (the run
    // limiter's, the render thread's): it must only post or write.
    virtual void requestEnd() = 0;

    // One failure line for the log: standard error, and wherever else the
    // platform shows a program's complaints.
    virtual void report(const std::string& line) = 0;

    // A failure the user must see before the run ends (a message box where the
    // platform has one).
    virtual void showError(const std::string& text) = 0;
};

// What a run is asked to be, besides the stored settings.
struct SessionConfig {
    bool maySwitchModes = false; // covers the screen: the settings' display mode applies
    bool preview = false;        // a preview: small capture, never saves
    RunOptions run;
    std::string statsName = "--stats"; // how failure lines name the statistics file
    unsigned joinTimeoutMs = 3000;     // how long the end waits for the render thread
};

class SaverSession {
  public:
    SaverSession(SaverPlatform& platform, SettingsStore& store, SessionConfig config);
    ~SaverSession(); // stops drawing that end() did not, saving nothing
    SaverSession(const SaverSession&) = delete;
    SaverSession& operator=(const SaverSession&) = delete;

    // Start-up: settings, the display's guard, the drawing's preparation,
    // capture (the logo when there is no picture), display mode, window,
    // render thread. False when the run cannot go on (nothing to draw with,
    // the mode could not be set, no thread to draw with); the reason has been
    // given and end() must still be called.
    bool start();

    // Whether something besides input has asked to end the run: a limit was
    // reached, or the render thread has no GL to draw with.
    bool endRequested() const;

    // The end of the run: stop and join the render thread, save (not a preview,
    // only a run that drew), give the display its mode back, write the
    // statistics. Once; later calls do nothing.
    void end();

    // Whether end() has run.
    bool ended() const { return ended_; }

    // After end(): whether the render thread left within the timeout.
    bool stopped() const { return stopped_; }

    // After end(): 0 after a run that drew and said all it had to (the
    // statistics written when asked for), else 1.
    int exitCode() const { return exitCode_; }

    // The settings as this run uses them (overrides applied).
    const Settings& settings() const { return settings_; }

  private:
    // Shared with the render thread and the limiter's; given up to the
    // process when the render thread does not stop in time.
    struct Shared {
        std::unique_ptr<FrameStats> stats;
        std::unique_ptr<RunLimiter> limiter;
        std::atomic<std::optional<Preset>> preset{};
        std::atomic<bool> cannotDraw{false};
        // The platform to ask for the run's end; null once the session has
        // let go of it, as the platform may be gone before those threads are.
        std::mutex endMutex;
        SaverPlatform* platform = nullptr;
        void requestEnd();
    };

    void load();
    void capture();
    bool switchDisplay();
    bool startDrawing();
    bool stopDrawing();
    void save();
    void writeStatistics();
    void abandonShared();

    SaverPlatform& platform_;
    SettingsStore& store_;
    SessionConfig config_;
    Settings stored_;                     // as loaded
    Settings settings_;                   // this run's: overrides applied
    std::vector<MonitorView> monitors_;   // as they were at the capture
    std::vector<CaptureBuffer> pictures_; // theirs, until the render thread takes them
    std::unique_ptr<Shared> shared_ = std::make_unique<Shared>();
    StartUpPlan plan_;
    bool switched_ = false;
    bool drawing_ = false;
    bool ended_ = false;
    bool stopped_ = true;
    int exitCode_ = 1;
};

} // namespace kelvara
