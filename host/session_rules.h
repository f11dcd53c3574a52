#pragma once

// The rules every platform's host shares, whatever its window system: when
// pointer movement ends a run, and what a run's start-up does besides loading
// the settings. Plain decisions, so they can be tried without a window.

#include <cstdint>

#include "settings/settings.h"

namespace kelvara {

// The seventh move of the pointer over a full-screen saver ends it: the count
// before the move must exceed this.
inline constexpr int kMouseMovesTolerated = 5;

// The mouse rule's memory: how many times the pointer has moved and where it
// was last seen.
struct MouseMoveCounter {
    int count = 0;
    bool seen = false;
    int32_t x = 0;
    int32_t y = 0;
};

// Counts a report of the pointer at (x, y) in window pixels; true from the
// seventh move on, when the saver must end. Only a report of a new position
// is a move: window systems also report the pointer when a window appears
// under it at rest, and the first report only tells where it rests.
bool countMouseMove(MouseMoveCounter& counter, int32_t x, int32_t y);

// What the start-up does besides loading the settings and starting the thread.
struct StartUpPlan {
    bool capture = false;       // take the desktop's picture (not with the logo)
    bool switchDisplay = false; // switch to resW x resH x resC
};

// `maySwitchModes`: the run covers the screen on a platform whose display
// modes a program may switch.
StartUpPlan planStartUp(const Settings& settings, bool maySwitchModes);

} // namespace kelvara
