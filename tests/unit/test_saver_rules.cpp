#include <gtest/gtest.h>

#include <vector>

#include "host/saver_rules.h"

using namespace kelvara;

namespace {

SaverFlags fullScreen() {
    return SaverFlags{};
}

SaverFlags preview() {
    SaverFlags f;
    f.preview = true;
    return f;
}

SaverFlags win9x(bool hook) {
    SaverFlags f;
    f.win9xPlatform = true;
    f.passwordHook = hook;
    return f;
}

const std::vector<uint32_t> kEndingInput = {kWmKeyDown, kWmSysKeyDown, kWmLButtonDown, kWmRButtonDown,
                                            kWmMButtonDown};

// A password prompt with a clock the test moves by hand.
struct FakePrompt {
    uint32_t now = 1000;
    std::vector<bool> answers; // verdicts, in the order the prompts come
    int asked = 0;
    int cursorHidden = 0;
    std::function<void()> duringPrompt;

    PasswordPrompt prompt() {
        PasswordPrompt p;
        p.tickCount = [this] { return now; };
        p.ask = [this] {
            if (duringPrompt)
                duringPrompt();
            return answers.at(asked++);
        };
        p.hideCursor = [this] { ++cursorHidden; };
        return p;
    }
};

} // namespace

TEST(SaverRules, fullScreenInputAndPowerPostClose) {
    for (uint32_t m : kEndingInput) {
        DefaultDecision d = defaultSaverRule(m, 0, fullScreen());
        EXPECT_TRUE(d.postClose) << m;
        // The request is posted; the message itself still gets the default handling.
        EXPECT_EQ(d.step, DefaultStep::DefaultHandling) << m;
    }
    EXPECT_TRUE(defaultSaverRule(kWmPower, kPwrSuspendRequest, fullScreen()).postClose);
    EXPECT_FALSE(defaultSaverRule(kWmPower, kPwrSuspendRequest + 1, fullScreen()).postClose);
    // Mouse movement is the application's own rule, never a close request here.
    EXPECT_FALSE(defaultSaverRule(kWmMouseMove, 0, fullScreen()).postClose);
    EXPECT_FALSE(defaultSaverRule(kWmPaint, 0, fullScreen()).postClose);
}

TEST(SaverRules, onlyASuspendEndsAFullScreenSaver) {
    for (uintptr_t event : {kPbtApmQuerySuspend, kPbtApmSuspend}) {
        const DefaultDecision d = defaultSaverRule(kWmPowerBroadcast, event, fullScreen());
        EXPECT_TRUE(d.postClose) << event;
        EXPECT_EQ(d.step, DefaultStep::DefaultHandling) << event; // the system's answer grants the suspend
        EXPECT_FALSE(d.notePowerSetting) << event;
    }
    // Charger, battery level, waking up, and the display's own state: nobody
    // is at the machine, so the saver goes on.
    for (uintptr_t event : {kPbtApmPowerStatusChange, kPbtApmResumeSuspend, kPbtApmResumeAutomatic,
                            kPbtPowerSettingChange}) {
        const DefaultDecision d = defaultSaverRule(kWmPowerBroadcast, event, fullScreen());
        EXPECT_FALSE(d.postClose) << event;
        EXPECT_EQ(d.step, DefaultStep::DefaultHandling) << event;
    }
}

TEST(SaverRules, theDisplayStateIsNotedInEveryMode) {
    SaverFlags allowed = fullScreen();
    allowed.closeAllowed = true;
    SaverFlags prompting = win9x(true);
    prompting.verifyInProgress = true;
    for (const SaverFlags& f : {fullScreen(), preview(), allowed, prompting}) {
        const DefaultDecision d = defaultSaverRule(kWmPowerBroadcast, kPbtPowerSettingChange, f);
        EXPECT_TRUE(d.notePowerSetting);
        EXPECT_FALSE(d.postClose);
    }
    EXPECT_FALSE(defaultSaverRule(kWmPowerBroadcast, kPbtApmPowerStatusChange, fullScreen()).notePowerSetting);
    // Another message with the same wParam value is no power setting.
    EXPECT_FALSE(defaultSaverRule(kWmPower, kPbtPowerSettingChange, fullScreen()).notePowerSetting);
}

TEST(SaverRules, previewIgnoresInputAndPower) {
    for (uint32_t m : kEndingInput) {
        DefaultDecision d = defaultSaverRule(m, 0, preview());
        EXPECT_FALSE(d.postClose) << m;
        EXPECT_EQ(d.step, DefaultStep::DefaultHandling) << m;
    }
    EXPECT_FALSE(defaultSaverRule(kWmPowerBroadcast, kPbtApmSuspend, preview()).postClose);
    EXPECT_FALSE(defaultSaverRule(kWmPower, kPwrSuspendRequest, preview()).postClose);
    // A close sent to a preview is carried out without any check, even where
    // the saver checks passwords.
    SaverFlags f = preview();
    f.win9xPlatform = true;
    f.passwordHook = true;
    EXPECT_EQ(defaultSaverRule(kWmClose, 0, f).step, DefaultStep::DefaultHandling);
    EXPECT_EQ(defaultSaverRule(kWmApp, 0, f).step, DefaultStep::DefaultHandling);
}

TEST(SaverRules, nothingEndsOnceCloseIsAllowedOrWhileThePromptIsUp) {
    SaverFlags allowed = fullScreen();
    allowed.closeAllowed = true;
    SaverFlags prompting = win9x(true);
    prompting.verifyInProgress = true;
    for (uint32_t m : kEndingInput) {
        EXPECT_FALSE(defaultSaverRule(m, 0, allowed).postClose) << m;
        EXPECT_FALSE(defaultSaverRule(m, 0, prompting).postClose) << m;
    }
    EXPECT_FALSE(defaultSaverRule(kWmPowerBroadcast, kPbtApmSuspend, prompting).postClose);
    EXPECT_FALSE(defaultSaverRule(kWmSetCursor, 0, prompting).hideCursor);
    // The prompt's own close request is still checked.
    EXPECT_EQ(defaultSaverRule(kWmClose, 0, prompting).step, DefaultStep::VerifyClose);
}

TEST(SaverRules, closeIsCheckedOnlyWhereTheSaverKeepsThePassword) {
    EXPECT_EQ(defaultSaverRule(kWmClose, 0, fullScreen()).step, DefaultStep::DefaultHandling);
    EXPECT_EQ(defaultSaverRule(kWmClose, 0, win9x(false)).step, DefaultStep::VerifyClose);
    EXPECT_EQ(defaultSaverRule(kWmApp, 0, win9x(true)).step, DefaultStep::RunPrompt);
    EXPECT_EQ(defaultSaverRule(kWmApp, 0, fullScreen()).step, DefaultStep::DefaultHandling);
}

TEST(SaverRules, cursorStaysHiddenInFullScreen) {
    DefaultDecision setCursor = defaultSaverRule(kWmSetCursor, 0, fullScreen());
    EXPECT_TRUE(setCursor.hideCursor);
    EXPECT_EQ(setCursor.step, DefaultStep::Return);
    EXPECT_EQ(setCursor.result, 1);
    EXPECT_TRUE(defaultSaverRule(kWmShowWindow, 1, fullScreen()).hideCursor);
    EXPECT_FALSE(defaultSaverRule(kWmShowWindow, 0, fullScreen()).hideCursor);
    EXPECT_FALSE(defaultSaverRule(kWmSetCursor, 0, preview()).hideCursor);
    EXPECT_TRUE(hostWindowRule(kWmCreate, 0, fullScreen()).hideCursor);
    EXPECT_FALSE(hostWindowRule(kWmCreate, 0, preview()).hideCursor);
}

TEST(SaverRules, autoPlayIsCancelledOnlyUnderAPassword) {
    constexpr uint32_t kAutoPlay = 0xC123;
    SaverFlags hooked = win9x(true);
    hooked.autoPlayMessage = kAutoPlay;
    DefaultDecision d = defaultSaverRule(kAutoPlay, 0, hooked);
    EXPECT_TRUE(d.postClose);
    EXPECT_EQ(d.step, DefaultStep::Return);
    EXPECT_EQ(d.result, 1);

    SaverFlags open = win9x(false);
    open.autoPlayMessage = kAutoPlay;
    d = defaultSaverRule(kAutoPlay, 0, open);
    EXPECT_TRUE(d.postClose);
    EXPECT_EQ(d.result, 0);

    // In a preview too: the rule holds in every mode.
    SaverFlags inPreview = preview();
    inPreview.autoPlayMessage = kAutoPlay;
    EXPECT_TRUE(defaultSaverRule(kAutoPlay, 0, inPreview).postClose);

    // Without a registered message no message matches, 0 included.
    EXPECT_FALSE(defaultSaverRule(0, 0, preview()).postClose);
    EXPECT_EQ(defaultSaverRule(0, 0, preview()).step, DefaultStep::DefaultHandling);
}

TEST(SaverRules, hostProcedureSettlesItsOwnMessages) {
    EXPECT_EQ(hostWindowRule(kWmSetText, 0, fullScreen()).step, HostStep::ReturnZero);
    EXPECT_EQ(hostWindowRule(kWmSetText, 0, preview()).step, HostStep::ReturnZero);

    for (uintptr_t cmd : {kScNextWindow, kScPrevWindow, kScScreenSave}) {
        EXPECT_EQ(hostWindowRule(kWmSysCommand, cmd, fullScreen()).step, HostStep::ReturnZero) << cmd;
        EXPECT_EQ(hostWindowRule(kWmSysCommand, cmd, preview()).step, HostStep::ToApplication) << cmd;
    }
    EXPECT_EQ(hostWindowRule(kWmSysCommand, 0xF060, fullScreen()).step, HostStep::ToApplication);

    EXPECT_EQ(hostWindowRule(kWmHelp, 0, preview()).step, HostStep::ForwardToParent);
    EXPECT_EQ(hostWindowRule(kWmContextMenu, 0, preview()).step, HostStep::ForwardToParent);
    EXPECT_EQ(hostWindowRule(kWmHelp, 0, fullScreen()).step, HostStep::ToApplication);

    HostDecision destroy = hostWindowRule(kWmDestroy, 0, preview());
    EXPECT_TRUE(destroy.postQuit);
    EXPECT_TRUE(destroy.restoreInputMethod);
    EXPECT_EQ(destroy.step, HostStep::ToApplication);
    EXPECT_TRUE(hostWindowRule(kWmCreate, 0, preview()).detachInputMethod);
}

TEST(SaverRules, afterCloseIsAllowedInputAndTimersStop) {
    SaverFlags allowed = fullScreen();
    allowed.closeAllowed = true;
    for (uint32_t m :
         {kWmKeyDown, kWmSysKeyDown, kWmMouseMove, kWmLButtonDown, kWmRButtonDown, kWmMButtonDown}) {
        EXPECT_EQ(hostWindowRule(m, 0, allowed).step, HostStep::DefaultHandling) << m;
        EXPECT_EQ(hostWindowRule(m, 0, fullScreen()).step, HostStep::ToApplication) << m;
    }
    EXPECT_EQ(hostWindowRule(kWmTimer, 0, allowed).step, HostStep::ReturnZero);
    EXPECT_TRUE(hostWindowRule(kWmTimer, 0, fullScreen()).sleepFirst);
    EXPECT_EQ(hostWindowRule(kWmPaint, 0, allowed).step, HostStep::DefaultHandling);
    EXPECT_TRUE(hostWindowRule(kWmPaint, 0, fullScreen()).hideCursor);
}

TEST(SaverRules, closeWithoutPromptIsGrantedAtOnce) {
    CloseGate gate;
    FakePrompt p;
    EXPECT_TRUE(verifyBeforeClose(gate, false, p.prompt()));
    EXPECT_TRUE(gate.closeAllowed);
    EXPECT_EQ(p.asked, 0);
}

TEST(SaverRules, closeIsRefusedWhileThePromptIsUp) {
    CloseGate gate;
    FakePrompt p;
    p.answers = {false};
    bool nestedAnswer = true;
    // A key pressed during the prompt posts a close that arrives while it is up.
    p.duringPrompt = [&] { nestedAnswer = verifyBeforeClose(gate, true, p.prompt()); };
    EXPECT_FALSE(verifyBeforeClose(gate, true, p.prompt()));
    EXPECT_FALSE(nestedAnswer);
    EXPECT_EQ(p.asked, 1);
    EXPECT_FALSE(gate.verifyInProgress);
    EXPECT_EQ(p.cursorHidden, 1);
}

TEST(SaverRules, requestsWithin200msOfARefusedPromptGetNoPrompt) {
    CloseGate gate;
    FakePrompt p;
    p.answers = {false, true};
    EXPECT_FALSE(verifyBeforeClose(gate, true, p.prompt()));
    p.now += kPromptQuietMs - 1;
    EXPECT_FALSE(verifyBeforeClose(gate, true, p.prompt()));
    EXPECT_EQ(p.asked, 1);
    p.now += 1;
    EXPECT_TRUE(verifyBeforeClose(gate, true, p.prompt()));
    EXPECT_EQ(p.asked, 2);
    EXPECT_TRUE(gate.closeAllowed);
}

TEST(SaverRules, quietTimeSurvivesTheTickCountWrapping) {
    CloseGate gate;
    FakePrompt p;
    p.answers = {false, false};
    p.now = 0xFFFFFFF0u;
    EXPECT_FALSE(verifyBeforeClose(gate, true, p.prompt()));
    p.now = 0x20; // 48 ms later, past the wrap
    EXPECT_FALSE(verifyBeforeClose(gate, true, p.prompt()));
    EXPECT_EQ(p.asked, 1);
    p.now = 0xFFFFFFF0u + kPromptQuietMs; // wrapped, 200 ms on
    EXPECT_FALSE(verifyBeforeClose(gate, true, p.prompt()));
    EXPECT_EQ(p.asked, 2);
}

TEST(SaverRules, firstPromptIsNeverDelayed) {
    // A tick count of 0 at the first request must not read as "just prompted".
    CloseGate gate;
    FakePrompt p;
    p.answers = {true};
    p.now = 0;
    EXPECT_TRUE(verifyBeforeClose(gate, true, p.prompt()));
    EXPECT_EQ(p.asked, 1);
}

TEST(SaverRules, applicationHandlesCreationEndAndMovement) {
    EXPECT_EQ(appSaverRule(kWmCreate, false), AppStep::StartUp);
    EXPECT_EQ(appSaverRule(kWmDestroy, true), AppStep::ShutDown);
    EXPECT_EQ(appSaverRule(kWmMouseMove, false), AppStep::MouseMove);
    EXPECT_EQ(appSaverRule(kWmMouseMove, true), AppStep::ReturnZero);
    EXPECT_EQ(appSaverRule(kWmActivateApp, false), AppStep::ReturnZero);
    EXPECT_EQ(appSaverRule(kWmSettingChange, false), AppStep::ReturnZero);
    EXPECT_EQ(appSaverRule(kWmKeyDown, false), AppStep::PassOn);
    EXPECT_EQ(appSaverRule(kWmClose, false), AppStep::PassOn);
}
