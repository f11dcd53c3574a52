#include "host/saver_session.h"

#include <algorithm>
#include <string_view>

#include "host/session_rules.h"
#include "render/monitor_pictures.h"

namespace kelvara {

namespace {

// "Show the logo" for this run only: the user's useOGL is what gets saved.
SettingOverride logoOverride() {
    SettingOverride logo;
    for (std::size_t i = 0; i < kSettingFields.size(); ++i)
        if (std::string_view(kSettingFields[i].name) == "useOGL")
            logo.field = i;
    logo.intValue = 1;
    return logo;
}

} // namespace

void SaverSession::Shared::requestEnd() {
    std::lock_guard lock(endMutex);
    if (platform != nullptr)
        platform->requestEnd();
}

SaverSession::SaverSession(SaverPlatform& platform, SettingsStore& store, SessionConfig config)
    : platform_(platform), store_(store), config_(std::move(config)) {
    shared_->platform = &platform_;
}

SaverSession::~SaverSession() {
    if (ended_)
        return;
    // A run the platform gave up on without its end (the window system went
    // away, a start that failed): stop drawing and give the display back, but
    // nothing of it is worth saving.
    if (!stopDrawing())
        abandonShared();
    if (switched_)
        restoreDisplayMode(*platform_.displayModes());
}

bool SaverSession::start() {
    load();
    // The guard of a switch may fork: only now has the process no other thread.
    if (plan_.switchDisplay)
        platform_.displayModes()->prepareSwitch();
    platform_.prepareDrawing();
    capture();
    if (!platform_.drawingReady()) {
        shared_->cannotDraw.store(true);
        return false;
    }
    if (!switchDisplay())
        return false;
    platform_.showWindow(switched_);
    return startDrawing();
}

void SaverSession::load() {
    loadSettings(stored_, store_);
    settings_ = stored_;
    applyOverrides(settings_, config_.run.overrides);
    plan_ = planStartUp(settings_, config_.maySwitchModes && platform_.displayModes() != nullptr);
    // Only a run that reports them pays for the statistics' histogram.
    if (!config_.run.control.statsFile.empty())
        shared_->stats = std::make_unique<FrameStats>();
}

void SaverSession::capture() {
    monitors_ = platform_.monitors();
    if (!plan_.capture)
        return;
    const auto before = FrameStats::Clock::now();
    const CaptureOutcome outcome =
        platform_.captureMonitors(monitors_, settings_, config_.preview, pictures_);
    if (shared_->stats)
        shared_->stats->noteCapture(millisecondsBetween(before, FrameStats::Clock::now()));
    // A monitor without a picture shows the primary's (monitorDraws); with
    // none at all the logo is shown instead.
    if (outcome != CaptureOutcome::Logo &&
        std::any_of(pictures_.begin(), pictures_.end(),
                    [](const CaptureBuffer& p) { return holdsPicture(p); }))
        return;
    pictures_.clear();
    if (outcome != CaptureOutcome::Logo)
        platform_.report("no picture of the desktop; showing the logo instead");
    const SettingOverride logo = logoOverride();
    config_.run.overrides.push_back(logo);
    applyOverrides(settings_, {logo});
}

bool SaverSession::switchDisplay() {
    if (!plan_.switchDisplay)
        return true;
    // The switch has shown its own reason; this says what it means for the run.
    if (!switchDisplayMode(*platform_.displayModes(), settings_.resW, settings_.resH, settings_.resC)) {
        platform_.showError("Error setting resolution");
        return false;
    }
    switched_ = true;
    return true;
}

bool SaverSession::startDrawing() {
    Shared* shared = shared_.get();
    // The limiter outlives the render thread: the thread's observer calls it.
    shared->limiter =
        std::make_unique<RunLimiter>(config_.run.control.limits, [shared] { shared->requestEnd(); });
    RenderThreadOptions options;
    options.waitForRetrace = config_.run.control.waitForRetrace;
    options.maxFps = config_.run.control.maxFps;
    options.showFrameRate = config_.run.showFrameRate;
    options.stats = shared->stats.get();
    if (config_.run.control.limits.frames > 0)
        options.observer = [limiter = shared->limiter.get()](uint64_t frame) {
            limiter->framePresented(frame);
        };
    // A thread without GL ends the run at once, on every platform: a saver
    // that cannot draw must not leave a black screen with no reason given.
    // The thread has said why.
    options.cannotDraw = [shared] {
        shared->cannotDraw.store(true);
        shared->requestEnd();
    };
    options.presetPicked = [shared](Preset preset) { shared->preset.store(preset); };
    // After a mode switch the monitors have moved: each keeps the picture it
    // had at the capture.
    std::vector<MonitorDraw> monitors =
        monitorDraws(monitors_, std::move(pictures_), switched_ ? platform_.monitors() : monitors_);
    pictures_.clear();
    renderRunning.store(1, std::memory_order_release);
    drawing_ = platform_.startDrawing(settings_, std::move(monitors), threadPriorityFor(settings_.Priority),
                                      options);
    if (!drawing_) {
        renderRunning.store(0, std::memory_order_release);
        shared->cannotDraw.store(true);
    }
    return drawing_;
}

bool SaverSession::endRequested() const {
    return shared_->cannotDraw.load() || (shared_->limiter && shared_->limiter->fired());
}

bool SaverSession::stopDrawing() {
    renderRunning.store(0, std::memory_order_release);
    if (!drawing_)
        return true;
    drawing_ = false;
    return platform_.stopDrawing(config_.joinTimeoutMs);
}

void SaverSession::end() {
    if (ended_)
        return;
    ended_ = true;
    const bool started = drawing_;
    stopped_ = stopDrawing();
    // A preview's copy is never newer than what the dialog has just saved.
    const bool drew = started && !shared_->cannotDraw.load();
    if (drew && !config_.preview)
        save();
    if (switched_)
        restoreDisplayMode(*platform_.displayModes());
    if (!stopped_) {
        // Everything worth keeping is saved and restored; statistics asked
        // for and not written are a failure all the same.
        const bool statsLost = shared_->stats != nullptr;
        platform_.report("the render thread did not stop within " + std::to_string(config_.joinTimeoutMs) +
                         " ms" + (statsLost ? "; no statistics written" : ""));
        abandonShared();
        exitCode_ = statsLost ? 1 : 0;
        return;
    }
    if (!drew)
        return;
    exitCode_ = 0;
    writeStatistics();
}

// The render thread still running may use this run's statistics and limiter:
// they go with the process. Neither they nor the limiter's thread may reach the
// platform from now on.
void SaverSession::abandonShared() {
    {
        std::lock_guard lock(shared_->endMutex);
        shared_->platform = nullptr;
    }
    [[maybe_unused]] Shared* kept = shared_.release();
    shared_ = std::make_unique<Shared>();
}

// The user's values, not this run's overrides. The random preset the render
// thread picked is stored as if the user had chosen it; randPreset stays on.
void SaverSession::save() {
    Settings toSave = settings_;
    if (const std::optional<Preset> preset = shared_->preset.load())
        applyPreset(toSave, *preset);
    revertOverrides(toSave, stored_, config_.run.overrides);
    saveSettings(toSave, store_);
}

void SaverSession::writeStatistics() {
    if (!shared_->stats)
        return;
    std::string error;
    if (!writeFrameSummary(config_.run.control.statsFile, shared_->stats->summary(), error)) {
        platform_.report(config_.statsName + ": " + error);
        exitCode_ = 1;
    }
    shared_->stats.reset();
}

} // namespace kelvara
