#pragma once

// How the display-mode calls of Windows map to the project's own terms;
// Windows builds only.
#include <windows.h>

#include <cstdint>

#include "display/display_modes.h"

namespace kelvara {

// kMode* field bits from a DEVMODEA's dmFields (plus kModeAsListed: a record
// the system filled), and back.
uint32_t modeFieldsOf(DWORD dmFields);
DWORD dmFieldsOf(uint32_t fields);

// A ChangeDisplaySettingsA result in the project's terms; codes without a kind
// of their own are ModeChange::Other.
ModeChange modeChangeOf(LONG result);

} // namespace kelvara
