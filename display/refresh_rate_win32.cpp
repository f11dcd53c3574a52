// The display's refresh rate on Windows: the primary display's current
// settings.
//
// Provides: refreshRateHz (display_win32.h) for the frame pacer.
// Limits: the primary display only, in whole hertz as the system keeps it.
#include "display/display_win32.h"

namespace kelvara {

double refreshRateHz() {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode))
        return 0.0;
    return static_cast<double>(mode.dmDisplayFrequency);
}

} // namespace kelvara
