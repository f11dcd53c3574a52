#pragma once

// The display on Windows beyond the portable seams: how its mode calls map to
// the project's own terms, the virtual screen, the refresh rate. Windows
// builds only.
#include <windows.h>

#include <cstdint>

#include "display/display_modes.h"
#include "display/monitors.h"

namespace kelvara {

// kMode* field bits from a DEVMODEA's dmFields (plus kModeAsListed: a record
// the system filled), and back.
uint32_t modeFieldsOf(DWORD dmFields);
DWORD dmFieldsOf(uint32_t fields);

// A ChangeDisplaySettingsA result in the project's terms; codes without a kind
// of their own are ModeChange::Other.
ModeChange modeChangeOf(LONG result);

// The virtual screen: the clip box of a device context for the whole screen,
// which spans every monitor (those left of or above the primary at negative
// coordinates). What a full-screen window covers and the capture grabs.
ScreenRect virtualScreen();

// The primary display's refresh rate in hertz; 0 or 1 where the driver keeps
// the hardware's default and does not say.
double refreshRateHz();

} // namespace kelvara
