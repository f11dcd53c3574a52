#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "scene/frame_timer.h"

namespace kelvara {

// Whether the display shows anything. A dimmed display still does.
enum class DisplayPower { On, Dimmed, Off };

// Where the render thread learns the display's state: the X server's DPMS
// state (display_power_x11.cpp), the window thread's notices on Windows, a
// fake in tests.
class DisplayPowerSource {
  public:
    virtual ~DisplayPowerSource() = default;
    // The state now; may cost a round trip to the display server.
    virtual DisplayPower displayPower() = 0;
};

// A state another thread is told of and sets (Windows sends the window a
// message when the display goes off, dims or comes on); reading it is cheap.
class DisplayPowerNotice final : public DisplayPowerSource {
  public:
    void set(DisplayPower power) { state_.store(power, std::memory_order_release); }
    DisplayPower displayPower() override { return state_.load(std::memory_order_acquire); }

  private:
    std::atomic<DisplayPower> state_{DisplayPower::On};
};

// The value of Windows' console display-state setting: 0 off, 1 on, 2
// dimmed. Any other value counts as on: better to draw than to stop for a
// state nobody knows.
DisplayPower displayPowerFromConsoleState(uint32_t value);

// Keeps the render loop from drawing while the display is off. Asked once
// before every frame: while the display is lit it returns at once (asking the
// source at most once per `checkEveryMs`); once the source says off it naps
// in short slices, asks again at the same pace, and returns when the display
// is lit again or `running` drops, so a run ended in the dark still ends
// within a slice. Nothing spins and nothing is drawn meanwhile.
class DisplaySleepGate {
  public:
    using Nap = std::function<void(double ms)>;
    DisplaySleepGate(DisplayPowerSource& source, double checkEveryMs, ClockMs clock = platformNowMs,
                     Nap nap = napFor);

    // True when it waited for the display; the caller then resumes its clocks.
    bool waitWhileDark(const std::atomic<int>& running);

    // The longest nap while the display is off: how late a run's end is seen.
    static constexpr double kNapMs = 250.0;
    static void napFor(double ms);

  private:
    bool askDue();

    DisplayPowerSource& source_;
    double checkEveryMs_;
    ClockMs clock_;
    Nap nap_;
    bool asked_ = false;
    double lastAskMs_ = 0.0;
};

} // namespace kelvara
