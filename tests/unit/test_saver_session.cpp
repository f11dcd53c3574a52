#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/saver_session.h"
#include "settings/presets.h"
#include "unit/null_platform.h"

using namespace kelvara;
using namespace kelvara::test;

namespace {

using Log = std::vector<std::string>;

SessionConfig fullScreen() {
    SessionConfig config;
    config.fullScreen = true;
    config.control.waitForRetrace = false;
    return config;
}

void storeSettings(NullPlatform& platform, const Settings& s) {
    saveSettings(s, platform.store);
    platform.store.writeCount = 0;
    platform.forget();
}

// Small textures, so the runs stay light.
Settings lightSettings() {
    Settings s;
    s.screenTextureWidth = 64;
    s.screenTextureHeight = 64;
    return s;
}

SettingOverride overrideOf(const char* name, int32_t value) {
    SettingOverride o;
    for (std::size_t i = 0; i < kSettingFields.size(); ++i)
        if (std::string(kSettingFields[i].name) == name)
            o.field = i;
    o.intValue = value;
    return o;
}

Settings loaded(const MemoryStore& store) {
    Settings s;
    loadSettings(s, store);
    return s;
}

} // namespace

TEST(SaverSession, inputEndsTheRunThenItSavesOnceAfterTheThreadStoppedAndRestoresTheDisplay) {
    NullPlatform platform;
    Settings s = lightSettings();
    s.resW = 800;
    s.resH = 600;
    s.resC = 32;
    s.Mode = 2;
    storeSettings(platform, s);
    platform.fakeDisplay.modes = {mode(800, 600, 32, 60), mode(1280, 1024, 32, 60)};
    SaverSession session(platform, platform.store, fullScreen());

    ASSERT_TRUE(session.start());
    ASSERT_TRUE(platform.waitForFrames(3));
    platform.input();
    ASSERT_TRUE(platform.waitForEnd());
    session.end();
    session.end(); // a second end (WM_DESTROY after a mouse move) changes nothing

    EXPECT_EQ(platform.log(), (Log{"capture", "display change", "show switched", "start drawing",
                                   "stop drawing", "save", "display change"}));
    EXPECT_EQ(platform.store.writeCount, 1);
    EXPECT_EQ(platform.fakeDisplay.current.width, 1280) << "the earlier mode is back";
    EXPECT_EQ(session.exitCode(), 0);
    EXPECT_EQ(loaded(platform.store).Mode, 2);
}

TEST(SaverSession, everyMonitorKeepsItsOwnPictureThroughAModeSwitch) {
    NullPlatform platform;
    Settings s = lightSettings();
    s.resW = 800;
    s.resH = 600;
    s.resC = 32;
    storeSettings(platform, s);
    platform.fakeDisplay.modes = {mode(800, 600, 32, 60)};
    // Two monitors at the capture; once the primary runs 800 x 600 the
    // layout lists them the other way round, the second moved.
    platform.layout = {MonitorView{{0, 0, 1280, 1024}, {0, 0, 1280, 1024}, true, "one"},
                       MonitorView{{1280, 0, 1024, 768}, {1280, 0, 1024, 768}, false, "two"}};
    SaverSession session(platform, platform.store, fullScreen());
    platform.fakeDisplay.noted = [&platform](FakeDisplay::Kind kind) {
        if (kind == FakeDisplay::Kind::Change)
            platform.layout = {MonitorView{{800, 0, 1024, 768}, {800, 0, 1024, 768}, false, "two"},
                               MonitorView{{0, 168, 800, 600}, {0, 0, 800, 600}, true, "one"}};
    };

    ASSERT_TRUE(session.start());
    ASSERT_TRUE(platform.waitForFrames(2));
    session.end();

    ASSERT_EQ(platform.drawn.size(), 2u);
    EXPECT_EQ(platform.drawn[0].viewport, (ScreenRect{800, 0, 1024, 768}));
    EXPECT_EQ(platform.drawn[0].capture.bgr[0], 0x81) << "the second monitor's picture";
    EXPECT_EQ(platform.drawn[1].viewport, (ScreenRect{0, 168, 800, 600}));
    EXPECT_EQ(platform.drawn[1].capture.bgr[0], 0x80);
    EXPECT_EQ(platform.drawn[1].capture.width, 64);
}

TEST(SaverSession, theRandomPresetIsHandedBackAndStoredAsBeforeWhileOverridesAreNot) {
    NullPlatform platform;
    Settings s = lightSettings();
    s.randPreset = 1;
    s.x_div = 3;
    s.y_div = 3;
    s.Priority = 1;
    storeSettings(platform, s);
    SessionConfig config = fullScreen();
    config.overrides = {overrideOf("Priority", 2)};
    SaverSession session(platform, platform.store, config);

    ASSERT_TRUE(session.start());
    ASSERT_TRUE(platform.waitForFrames(1));
    platform.input();
    session.end();

    ASSERT_TRUE(platform.presetPicked().has_value());
    // The thread drew from its own record: the session's is as loaded.
    EXPECT_EQ(session.settings().x_div, 3.0f);
    Settings expected = s;
    applyPreset(expected, *platform.presetPicked());
    const Settings saved = loaded(platform.store);
    EXPECT_NE(saved.x_div, 3.0f);
    EXPECT_EQ(saved.x_div, expected.x_div);
    EXPECT_EQ(saved.Mode, expected.Mode);
    EXPECT_EQ(saved.zoom1, expected.zoom1);
    EXPECT_EQ(saved.randPreset, 1);
    EXPECT_EQ(saved.Priority, 1) << "an override is this run's only";
}

TEST(SaverSession, aPreviewNeverSaves) {
    NullPlatform platform;
    storeSettings(platform, lightSettings());
    SessionConfig config;
    config.preview = true;
    SaverSession session(platform, platform.store, config);

    ASSERT_TRUE(session.start());
    ASSERT_TRUE(platform.waitForFrames(1));
    session.end();

    EXPECT_EQ(platform.log(), (Log{"capture preview", "show", "start drawing", "stop drawing"}));
    EXPECT_EQ(platform.store.writeCount, 0);
    EXPECT_EQ(session.exitCode(), 0);
}

TEST(SaverSession, aModeThatCannotBeSetEndsTheRunBeforeDrawingAndSavesNothing) {
    NullPlatform platform;
    Settings s = lightSettings();
    s.resW = 1234;
    s.resH = 567;
    s.resC = 16;
    storeSettings(platform, s);
    platform.fakeDisplay.answer = [](const DisplayMode&, ModeScope) { return ModeChange::BadMode; };
    SaverSession session(platform, platform.store, fullScreen());

    EXPECT_FALSE(session.start());
    session.end();

    const Log log = platform.log();
    EXPECT_EQ(log.front(), "capture");
    EXPECT_EQ(log.back(), "error: Error setting resolution");
    EXPECT_EQ(std::find(log.begin(), log.end(), "start drawing"), log.end());
    EXPECT_EQ(platform.store.writeCount, 0);
    EXPECT_EQ(session.exitCode(), 1);
}

TEST(SaverSession, aThreadWithoutGlEndsTheRunWithoutASave) {
    NullPlatform platform;
    storeSettings(platform, lightSettings());
    platform.glWorks = false;
    SaverSession session(platform, platform.store, fullScreen());

    ASSERT_TRUE(session.start());
    ASSERT_TRUE(platform.waitForEnd()) << "the thread's complaint must end the event loop";
    EXPECT_TRUE(session.endRequested());
    session.end();

    EXPECT_EQ(platform.store.writeCount, 0);
    EXPECT_EQ(session.exitCode(), 1);
}

TEST(SaverSession, aFrameLimitEndsTheRunLikeInput) {
    NullPlatform platform;
    storeSettings(platform, lightSettings());
    SessionConfig config = fullScreen();
    config.control.limits.frames = 5;
    SaverSession session(platform, platform.store, config);

    ASSERT_TRUE(session.start());
    ASSERT_TRUE(platform.waitForEnd());
    EXPECT_TRUE(session.endRequested());
    session.end();

    EXPECT_EQ(platform.requestedEnds(), 1);
    EXPECT_EQ(platform.store.writeCount, 1);
    EXPECT_EQ(session.exitCode(), 0);
}

TEST(SaverSession, aThreadThatDoesNotStopInTimeStillGetsTheRunSavedAndSaidSo) {
    for (const bool statsAsked : {true, false}) {
        SCOPED_TRACE(statsAsked ? "statistics asked for" : "no statistics");
        NullPlatform platform;
        storeSettings(platform, lightSettings());
        platform.joinTimesOut = true;
        SessionConfig config = fullScreen();
        config.joinTimeoutMs = 50;
        if (statsAsked)
            config.control.statsFile = "unused-stats.txt";
        SaverSession session(platform, platform.store, config);

        ASSERT_TRUE(session.start());
        ASSERT_TRUE(platform.waitForFrames(1));
        session.end();

        const Log log = platform.log();
        const std::string said = "report: the render thread did not stop within 50 ms";
        EXPECT_NE(std::find(log.begin(), log.end(), statsAsked ? said + "; no statistics written" : said),
                  log.end());
        EXPECT_EQ(platform.store.writeCount, 1);
        EXPECT_FALSE(session.stopped());
        EXPECT_EQ(session.exitCode(), statsAsked ? 1 : 0) << "statistics asked for and not written";
    }
}

// The platform may be gone soon after the end: the run limiter left running
// with the thread must not reach it.
TEST(SaverSession, nothingAsksThePlatformToEndTheRunAfterAJoinTimeout) {
    NullPlatform platform;
    storeSettings(platform, lightSettings());
    platform.joinTimesOut = true;
    SessionConfig config = fullScreen();
    config.joinTimeoutMs = 50;
    config.control.limits.seconds = 0.5;
    SaverSession session(platform, platform.store, config);

    ASSERT_TRUE(session.start());
    session.end();

    EXPECT_FALSE(platform.waitForEnd(std::chrono::milliseconds(1500)))
        << "the limiter fired into the platform";
    EXPECT_EQ(platform.requestedEnds(), 0);
}

TEST(SaverSession, noPictureOfTheDesktopShowsTheLogoWithoutStoringIt) {
    for (const CaptureOutcome outcome : {CaptureOutcome::Failed, CaptureOutcome::Logo}) {
        NullPlatform platform;
        storeSettings(platform, lightSettings());
        platform.capture = outcome;
        SaverSession session(platform, platform.store, fullScreen());

        ASSERT_TRUE(session.start());
        EXPECT_EQ(session.settings().useOGL, 1);
        session.end();

        // A platform that has said why adds no second line.
        const Log log = platform.log();
        const long reports = std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line == "report: no picture of the desktop; showing the logo instead";
        });
        EXPECT_EQ(reports, outcome == CaptureOutcome::Failed ? 1 : 0);
        EXPECT_EQ(loaded(platform.store).useOGL, 0);
        EXPECT_EQ(platform.store.writeCount, 1);
    }
}

TEST(SaverSession, aSessionLeftWithoutItsEndStopsDrawingAndSavesNothing) {
    NullPlatform platform;
    storeSettings(platform, lightSettings());
    {
        SaverSession session(platform, platform.store, fullScreen());
        ASSERT_TRUE(session.start());
        ASSERT_TRUE(platform.waitForFrames(1));
    }
    EXPECT_FALSE(platform.drawing());
    EXPECT_EQ(platform.log().back(), "stop drawing");
    EXPECT_EQ(platform.store.writeCount, 0);
}

TEST(SaverSession, theRenderThreadIsToldHowToPaceItsFrames) {
    for (int maxFps : {kMaxFpsDisplayRate, 0, 30}) {
        NullPlatform platform;
        storeSettings(platform, lightSettings());
        SessionConfig config = fullScreen();
        config.control.maxFps = maxFps;
        SaverSession session(platform, platform.store, config);
        ASSERT_TRUE(session.start());
        session.end();
        EXPECT_EQ(platform.startedWith.maxFps, maxFps);
        EXPECT_FALSE(platform.startedWith.waitForRetrace);
    }
}
