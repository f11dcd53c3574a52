#pragma once

// The commands that let a desktop hand Kelvara its picture ahead of a run:
// --grant-capture / --revoke-capture (KWin's .desktop entry for this program)
// and --allow-capture (the desktop portal's one-time question). Wayland
// builds only.

namespace kelvara {

// Writes (grant) or removes the user's entry for this program's real path;
// says what it did on stdout. The exit code: 0 done, 1 failed (one line).
int grantCapture(bool grant);

// Asks the desktop portal for one screenshot and deletes it; says what
// happened. 0 when the portal gave a picture, 1 otherwise.
int allowCapture();

} // namespace kelvara
