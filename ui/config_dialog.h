#pragma once

// The configuration run's dialog. Windows only.

#include <windows.h>

namespace kelvara {

// Loads the settings from the registry, runs the configuration dialog modally,
// owned by `parent` (may be null), and returns its end code: 1 after "OK"
// (the settings saved), 2 after "Cancel", -1 when it could not be shown.
int showConfigDialog(HWND parent);

} // namespace kelvara
