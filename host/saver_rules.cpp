#include "host/saver_rules.h"

namespace kelvara {

namespace {

bool isInput(uint32_t message) {
    switch (message) {
    case kWmKeyDown:
    case kWmSysKeyDown:
    case kWmMouseMove:
    case kWmLButtonDown:
    case kWmRButtonDown:
    case kWmMButtonDown:
        return true;
    default:
        return false;
    }
}

bool endsOnInput(uint32_t message) {
    return isInput(message) && message != kWmMouseMove;
}

} // namespace

HostDecision hostWindowRule(uint32_t message, uintptr_t wParam, const SaverFlags& flags) {
    HostDecision d;
    const bool fullScreen = !flags.preview;
    switch (message) {
    case kWmCreate:
        d.detachInputMethod = true;
        d.hideCursor = fullScreen;
        break;
    case kWmDestroy:
        d.restoreInputMethod = true;
        d.postQuit = true;
        break;
    case kWmSetText:
        d.step = HostStep::ReturnZero;
        break;
    case kWmPaint:
        if (flags.closeAllowed)
            d.step = HostStep::DefaultHandling;
        else
            d.hideCursor = fullScreen;
        break;
    case kWmHelp:
    case kWmContextMenu:
        // The control panel owns help for its preview.
        if (flags.preview)
            d.step = HostStep::ForwardToParent;
        break;
    case kWmSysCommand:
        // Task switching and a nested saver start must not get past a running saver.
        if (fullScreen && (wParam == kScNextWindow || wParam == kScPrevWindow || wParam == kScScreenSave))
            d.step = HostStep::ReturnZero;
        break;
    case kWmTimer:
        if (flags.closeAllowed)
            d.step = HostStep::ReturnZero;
        else
            d.sleepFirst = true;
        break;
    default:
        if (isInput(message) && flags.closeAllowed)
            d.step = HostStep::DefaultHandling;
        break;
    }
    return d;
}

DefaultDecision defaultSaverRule(uint32_t message, uintptr_t wParam, const SaverFlags& flags) {
    DefaultDecision d;
    if (!flags.preview && !flags.closeAllowed) {
        if (message == kWmClose) {
            if (flags.win9xPlatform) {
                d.step = DefaultStep::VerifyClose;
                return d;
            }
        } else if (message == kWmApp) {
            if (flags.win9xPlatform) {
                d.step = DefaultStep::RunPrompt;
                return d;
            }
        } else if (!flags.verifyInProgress) {
            switch (message) {
            case kWmShowWindow:
                d.hideCursor = wParam != 0;
                break;
            case kWmSetCursor:
                d.hideCursor = true;
                d.step = DefaultStep::Return;
                d.result = 1;
                return d;
            case kWmPower:
                d.postClose = wParam == kPwrSuspendRequest;
                break;
            case kWmPowerBroadcast:
                d.postClose = wParam == kPbtApmQuerySuspend || wParam == kPbtApmSuspend;
                break;
            default:
                d.postClose = endsOnInput(message);
                break;
            }
        }
    }
    if (message == kWmPowerBroadcast && wParam == kPbtPowerSettingChange)
        d.notePowerSetting = true;
    if (flags.autoPlayMessage != 0 && message == flags.autoPlayMessage) {
        // With a password in force the disc's AutoPlay must not run past the saver.
        d.postClose = true;
        d.step = DefaultStep::Return;
        d.result = flags.passwordHook ? 1 : 0;
    }
    return d;
}

bool verifyBeforeClose(CloseGate& gate, bool passwordHook, const PasswordPrompt& prompt) {
    if (gate.verifyInProgress)
        return false;
    if (!passwordHook) {
        gate.closeAllowed = true;
        return true;
    }
    // Unsigned difference: correct across the tick count's wrap after 49.7 days.
    if (gate.promptShown && prompt.tickCount() - gate.lastPromptTime < kPromptQuietMs)
        return false;
    gate.verifyInProgress = true;
    gate.closeAllowed = prompt.ask();
    gate.verifyInProgress = false;
    if (!gate.closeAllowed && prompt.hideCursor)
        prompt.hideCursor();
    gate.lastPromptTime = prompt.tickCount();
    gate.promptShown = true;
    return gate.closeAllowed;
}

AppStep appSaverRule(uint32_t message, bool preview) {
    switch (message) {
    case kWmCreate:
        return AppStep::StartUp;
    case kWmDestroy:
        return AppStep::ShutDown;
    case kWmMouseMove:
        return preview ? AppStep::ReturnZero : AppStep::MouseMove;
    case kWmActivateApp:
    case kWmSettingChange:
        // Losing the activation must not end the saver.
        return AppStep::ReturnZero;
    default:
        return AppStep::PassOn;
    }
}

} // namespace kelvara
