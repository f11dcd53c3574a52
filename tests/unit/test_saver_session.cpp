#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "host/saver_session.h"
#include "settings/presets.h"
#include "unit/null_platform.h"

namespace kelvara::test {
namespace {

using Log = std::vector<std::string>;

// Small textures, so the runs stay light; a display mode to switch to if given.
Settings lightSettings(int32_t width = 0, int32_t height = 0, int32_t depth = 0) {
    Settings s;
    s.screenTextureWidth = 64;
    s.screenTextureHeight = 64;
    s.resW = width;
    s.resH = height;
    s.resC = depth;
    return s;
}

// A full-screen session over a NullPlatform whose store holds light settings;
// a test changes what it needs before open().
struct SessionRig {
    NullPlatform platform;
    SessionConfig config;
    std::optional<kelvara::SaverSession> session;

    SessionRig() {
        config.maySwitchModes = true;
        config.run.control.waitForRetrace = false;
        store(lightSettings());
    }
    // The settings saved before the run; neither their write nor its log lines count.
    void store(const Settings& s) {
        saveSettings(s, platform.store);
        platform.store.writeCount = 0;
        platform.forget();
    }
    kelvara::SaverSession& open() { return session.emplace(platform, platform.store, config); }
    Settings saved() const {
        Settings s;
        loadSettings(s, platform.store);
        return s;
    }
    long logged(const std::string& line) const {
        const Log log = platform.log();
        return std::count(log.begin(), log.end(), line);
    }
};

struct SessionFixture : ::testing::Test, SessionRig {};
// The suite keeps the name its cases have always run under.
using SaverSession = SessionFixture;

} // namespace

TEST_F(SaverSession, inputEndsTheRunThenItSavesOnceAfterTheThreadStoppedAndRestoresTheDisplay) {
    Settings s = lightSettings(800, 600, 32);
    s.Mode = 2;
    store(s);
    platform.fakeDisplay.modes = {mode(800, 600, 32, 60), mode(1280, 1024, 32, 60)};

    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForFrames(3));
    platform.input();
    ASSERT_TRUE(platform.waitForEnd());
    session->end();
    session->end(); // a second end (WM_DESTROY after a mouse move) changes nothing

    EXPECT_EQ(platform.log(), (Log{"display guard", "prepare drawing", "capture", "display change",
                                   "show switched", "start drawing", "stop drawing", "save",
                                   "display change"}));
    EXPECT_EQ(platform.store.writeCount, 1);
    EXPECT_EQ(platform.fakeDisplay.current.width, 1280) << "the earlier mode is back";
    EXPECT_EQ(session->exitCode(), 0);
    EXPECT_EQ(saved().Mode, 2);
}

TEST_F(SaverSession, everyMonitorKeepsItsOwnPictureThroughAModeSwitch) {
    store(lightSettings(800, 600, 32));
    platform.fakeDisplay.modes = {mode(800, 600, 32, 60)};
    // Two monitors at the capture; once the primary runs 800 x 600 the
    // layout lists them the other way round, the second moved.
    platform.layout = {MonitorView{{0, 0, 1280, 1024}, {0, 0, 1280, 1024}, true, "one"},
                       MonitorView{{1280, 0, 1024, 768}, {1280, 0, 1024, 768}, false, "two"}};
    platform.fakeDisplay.noted = [this](FakeDisplay::Kind kind) {
        if (kind == FakeDisplay::Kind::Change)
            platform.layout = {MonitorView{{800, 0, 1024, 768}, {800, 0, 1024, 768}, false, "two"},
                               MonitorView{{0, 168, 800, 600}, {0, 0, 800, 600}, true, "one"}};
    };

    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForFrames(2));
    session->end();

    ASSERT_EQ(platform.drawn.size(), 2u);
    EXPECT_EQ(platform.drawn[0].viewport, (ScreenRect{800, 0, 1024, 768}));
    EXPECT_EQ(platform.drawn[0].capture.bgr[0], 0x81) << "the second monitor's picture";
    EXPECT_EQ(platform.drawn[1].viewport, (ScreenRect{0, 168, 800, 600}));
    EXPECT_EQ(platform.drawn[1].capture.bgr[0], 0x80);
    EXPECT_EQ(platform.drawn[1].capture.width, 64);
}

TEST_F(SaverSession, theRandomPresetIsHandedBackAndStoredAsBeforeWhileOverridesAreNot) {
    Settings s = lightSettings();
    s.randPreset = 1;
    s.x_div = 3;
    s.y_div = 3;
    s.Priority = 1;
    store(s);
    config.run.overrides = {SettingOverride{settingIndex("Priority"), 2}};

    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForFrames(1));
    platform.input();
    session->end();

    ASSERT_TRUE(platform.presetPicked().has_value());
    // The thread drew from its own record: the session's is as loaded.
    EXPECT_EQ(session->settings().x_div, 3.0f);
    Settings expected = s;
    applyPreset(expected, *platform.presetPicked());
    const Settings after = saved();
    EXPECT_NE(after.x_div, 3.0f);
    EXPECT_EQ(after.x_div, expected.x_div);
    EXPECT_EQ(after.Mode, expected.Mode);
    EXPECT_EQ(after.zoom1, expected.zoom1);
    EXPECT_EQ(after.randPreset, 1);
    EXPECT_EQ(after.Priority, 1) << "an override is this run's only";
}

TEST_F(SaverSession, aPreviewNeverSaves) {
    config.maySwitchModes = false;
    config.preview = true;

    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForFrames(1));
    session->end();

    EXPECT_EQ(platform.log(),
              (Log{"prepare drawing", "capture preview", "show", "start drawing", "stop drawing"}));
    EXPECT_EQ(platform.store.writeCount, 0);
    EXPECT_EQ(session->exitCode(), 0);
}

TEST_F(SaverSession, aModeThatCannotBeSetEndsTheRunBeforeDrawingAndSavesNothing) {
    store(lightSettings(1234, 567, 16));
    platform.fakeDisplay.answer = [](const DisplayMode&, ModeScope) { return ModeChange::BadMode; };

    EXPECT_FALSE(open().start());
    session->end();

    const Log log = platform.log();
    EXPECT_EQ(logged("capture"), 1);
    EXPECT_EQ(log.back(), "error: Error setting resolution");
    EXPECT_EQ(logged("start drawing"), 0);
    EXPECT_EQ(platform.store.writeCount, 0);
    EXPECT_EQ(session->exitCode(), 1);
}

TEST_F(SaverSession, aThreadWithoutGlEndsTheRunWithoutASave) {
    platform.glWorks = false;

    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForEnd()) << "the thread's complaint must end the event loop";
    EXPECT_TRUE(session->endRequested());
    session->end();

    EXPECT_EQ(platform.store.writeCount, 0);
    EXPECT_EQ(session->exitCode(), 1);
}

TEST_F(SaverSession, nothingToDrawWithIsToldBeforeTheModeSwitchesOrAWindowShows) {
    store(lightSettings(800, 600, 32));
    platform.fakeDisplay.modes = {mode(800, 600, 32, 60)};
    platform.glPrepared = false;

    EXPECT_FALSE(open().start());
    session->end();

    EXPECT_EQ(platform.log(), (Log{"display guard", "prepare drawing", "capture"}));
    EXPECT_EQ(platform.fakeDisplay.current.width, 1280);
    EXPECT_EQ(platform.store.writeCount, 0);
    EXPECT_EQ(session->exitCode(), 1);
}

TEST_F(SaverSession, aPlatformWithoutDisplayModesRunsAtTheModeItHas) {
    store(lightSettings(800, 600, 32));
    platform.switchesModes = false;

    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForFrames(1));
    session->end();

    EXPECT_EQ(platform.log(),
              (Log{"prepare drawing", "capture", "show", "start drawing", "stop drawing", "save"}));
    EXPECT_EQ(session->exitCode(), 0);
}

TEST_F(SaverSession, aFrameLimitEndsTheRunLikeInput) {
    config.run.control.limits.frames = 5;

    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForEnd());
    EXPECT_TRUE(session->endRequested());
    session->end();

    EXPECT_EQ(platform.requestedEnds(), 1);
    EXPECT_EQ(platform.store.writeCount, 1);
    EXPECT_EQ(session->exitCode(), 0);
}

TEST_F(SaverSession, aThreadThatDoesNotStopInTimeStillGetsTheRunSavedAndSaidSo) {
    for (const bool statsAsked : {true, false}) {
        SCOPED_TRACE(statsAsked ? "statistics asked for" : "no statistics");
        SessionRig rig;
        rig.platform.joinTimesOut = true;
        rig.config.joinTimeoutMs = 50;
        if (statsAsked)
            rig.config.run.control.statsFile = "unused-stats.txt";

        ASSERT_TRUE(rig.open().start());
        ASSERT_TRUE(rig.platform.waitForFrames(1));
        rig.session->end();

        const std::string said = "report: the render thread did not stop within 50 ms";
        EXPECT_EQ(rig.logged(statsAsked ? said + "; no statistics written" : said), 1);
        EXPECT_EQ(rig.platform.store.writeCount, 1);
        EXPECT_FALSE(rig.session->stopped());
        EXPECT_EQ(rig.session->exitCode(), statsAsked ? 1 : 0) << "statistics asked for and not written";
    }
}

// The platform may be gone soon after the end: the run limiter left running
// with the thread must not reach it.
TEST_F(SaverSession, nothingAsksThePlatformToEndTheRunAfterAJoinTimeout) {
    platform.joinTimesOut = true;
    config.joinTimeoutMs = 50;
    config.run.control.limits.seconds = 0.5;

    ASSERT_TRUE(open().start());
    session->end();

    EXPECT_FALSE(platform.waitForEnd(std::chrono::milliseconds(1500)))
        << "the limiter fired into the platform";
    EXPECT_EQ(platform.requestedEnds(), 0);
}

TEST_F(SaverSession, noPictureOfTheDesktopShowsTheLogoWithoutStoringIt) {
    for (const CaptureOutcome outcome : {CaptureOutcome::Failed, CaptureOutcome::Logo}) {
        SessionRig rig;
        rig.platform.capture = outcome;

        ASSERT_TRUE(rig.open().start());
        EXPECT_EQ(rig.session->settings().useOGL, 1);
        rig.session->end();

        // A platform that has said why adds no second line.
        EXPECT_EQ(rig.logged("report: no picture of the desktop; showing the logo instead"),
                  outcome == CaptureOutcome::Failed ? 1 : 0);
        EXPECT_EQ(rig.saved().useOGL, 0);
        EXPECT_EQ(rig.platform.store.writeCount, 1);
    }
}

TEST_F(SaverSession, aSessionLeftWithoutItsEndStopsDrawingAndSavesNothing) {
    ASSERT_TRUE(open().start());
    ASSERT_TRUE(platform.waitForFrames(1));
    session.reset();

    EXPECT_FALSE(platform.drawing());
    EXPECT_EQ(platform.log().back(), "stop drawing");
    EXPECT_EQ(platform.store.writeCount, 0);
}

TEST_F(SaverSession, theRenderThreadIsToldHowToPaceItsFrames) {
    for (int maxFps : {kMaxFpsDisplayRate, 0, 30}) {
        SessionRig rig;
        rig.config.run.control.maxFps = maxFps;
        ASSERT_TRUE(rig.open().start());
        rig.session->end();
        EXPECT_EQ(rig.platform.startedWith.maxFps, maxFps);
        EXPECT_FALSE(rig.platform.startedWith.waitForRetrace);
    }
}

} // namespace kelvara::test
