#pragma once

// The display's on/off/dimmed state as Windows tells it to a window; Windows
// builds only.
#include <windows.h>

#include <optional>

#include "display/display_power.h"

namespace kelvara {

// The display state a power-setting notification carries; empty for any
// other setting, or one too short to hold the state.
std::optional<DisplayPower> displayPowerOfSetting(const POWERBROADCAST_SETTING& setting);

// Registers a window for the console display-state setting and keeps the
// latest state for the render thread. Windows sends the current state right
// after the registration and then every change, as WM_POWERBROADCAST with
// PBT_POWERSETTINGCHANGE. Main thread only, apart from notice(), which the
// render thread reads.
class DisplayStateWatch {
  public:
    ~DisplayStateWatch() { stop(); }

    void start(HWND window);
    void stop();
    // lParam of a PBT_POWERSETTINGCHANGE broadcast.
    void noteSetting(LPARAM lParam);

    DisplayPowerNotice& notice() { return notice_; }

  private:
    HPOWERNOTIFY registration_ = nullptr;
    DisplayPowerNotice notice_;
};

} // namespace kelvara
