// The console display-state notifications of Windows (Vista and later), turned
// into the DisplayPowerNotice the render thread reads, so nothing is drawn
// while the display is off.
// Limits: the console's display as a whole, not each monitor. Where the
// registration is refused (or the system never sends the setting, as Wine
// does not) the display counts as on and the saver draws as before.
#include "display/display_state_win32.h"

#include <cstring>

namespace kelvara {

namespace {

// GUID_CONSOLE_DISPLAY_STATE, spelt out: the SDK only defines it where a
// translation unit instantiates the GUIDs, and the uuid library is not linked.
constexpr GUID kConsoleDisplayState = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

} // namespace

std::optional<DisplayPower> displayPowerOfSetting(const POWERBROADCAST_SETTING& setting) {
    if (std::memcmp(&setting.PowerSetting, &kConsoleDisplayState, sizeof(GUID)) != 0 ||
        setting.DataLength < sizeof(DWORD))
        return std::nullopt;
    DWORD state = 0;
    std::memcpy(&state, setting.Data, sizeof state);
    return displayPowerFromConsoleState(state);
}

void DisplayStateWatch::start(HWND window) {
    if (registration_ == nullptr)
        registration_ =
            RegisterPowerSettingNotification(window, &kConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void DisplayStateWatch::stop() {
    if (registration_ != nullptr)
        UnregisterPowerSettingNotification(registration_);
    registration_ = nullptr;
}

void DisplayStateWatch::noteSetting(LPARAM lParam) {
    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
    if (setting == nullptr)
        return;
    if (const std::optional<DisplayPower> power = displayPowerOfSetting(*setting))
        notice_.set(*power);
}

} // namespace kelvara
