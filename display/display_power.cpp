#include "display/display_power.h"

#include <chrono>
#include <thread>
#include <utility>

namespace kelvara {

DisplayPower displayPowerFromConsoleState(uint32_t value) {
    switch (value) {
    case 0:
        return DisplayPower::Off;
    case 2:
        return DisplayPower::Dimmed;
    default:
        return DisplayPower::On;
    }
}

DisplaySleepGate::DisplaySleepGate(DisplayPowerSource& source, double checkEveryMs, ClockMs clock, Nap nap)
    : source_(source), checkEveryMs_(checkEveryMs), clock_(std::move(clock)), nap_(std::move(nap)) {}

void DisplaySleepGate::napFor(double ms) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

bool DisplaySleepGate::askDue() {
    const double now = clock_();
    if (asked_ && now - lastAskMs_ < checkEveryMs_)
        return false;
    asked_ = true;
    lastAskMs_ = now;
    return true;
}

bool DisplaySleepGate::waitWhileDark(const std::atomic<int>& running) {
    if (!askDue() || source_.displayPower() != DisplayPower::Off)
        return false;
    while (running.load(std::memory_order_acquire) != 0) {
        nap_(kNapMs);
        if (askDue() && source_.displayPower() != DisplayPower::Off)
            break;
    }
    return true;
}

} // namespace kelvara
