#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "display/display_state_win32.h"

using namespace kelvara;

namespace {

const GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
// Another power setting a window may hear of: the power source (AC or battery).
const GUID kAcDcPowerSource = {0x5d3e9a59, 0xe9d5, 0x4b00, {0xa6, 0xbd, 0xff, 0x34, 0xff, 0x51, 0x65, 0x48}};

// A notification as the system lays it out: the fixed part, then the data.
std::vector<unsigned char> setting(const GUID& guid, DWORD value, DWORD length = sizeof(DWORD)) {
    std::vector<unsigned char> bytes(offsetof(POWERBROADCAST_SETTING, Data) + sizeof(DWORD));
    auto* s = reinterpret_cast<POWERBROADCAST_SETTING*>(bytes.data());
    s->PowerSetting = guid;
    s->DataLength = length;
    std::memcpy(s->Data, &value, sizeof value);
    return bytes;
}

const POWERBROADCAST_SETTING& as(const std::vector<unsigned char>& bytes) {
    return *reinterpret_cast<const POWERBROADCAST_SETTING*>(bytes.data());
}

} // namespace

TEST(DisplayState, consoleDisplayStateIsRead) {
    EXPECT_EQ(displayPowerOfSetting(as(setting(kConsoleDisplayState, 0))), DisplayPower::Off);
    EXPECT_EQ(displayPowerOfSetting(as(setting(kConsoleDisplayState, 1))), DisplayPower::On);
    EXPECT_EQ(displayPowerOfSetting(as(setting(kConsoleDisplayState, 2))), DisplayPower::Dimmed);
}

TEST(DisplayState, otherSettingsAndShortDataAreNotTheDisplay) {
    EXPECT_FALSE(displayPowerOfSetting(as(setting(kAcDcPowerSource, 0))).has_value());
    EXPECT_FALSE(displayPowerOfSetting(as(setting(kConsoleDisplayState, 0, 1))).has_value());
}

TEST(DisplayState, aNotificationReachesTheRenderThreadsNotice) {
    DisplayStateWatch watch;
    EXPECT_EQ(watch.notice().displayPower(), DisplayPower::On);
    std::vector<unsigned char> off = setting(kConsoleDisplayState, 0);
    watch.noteSetting(reinterpret_cast<LPARAM>(off.data()));
    EXPECT_EQ(watch.notice().displayPower(), DisplayPower::Off);
    // Another setting leaves the state alone.
    std::vector<unsigned char> battery = setting(kAcDcPowerSource, 1);
    watch.noteSetting(reinterpret_cast<LPARAM>(battery.data()));
    EXPECT_EQ(watch.notice().displayPower(), DisplayPower::Off);
    std::vector<unsigned char> on = setting(kConsoleDisplayState, 1);
    watch.noteSetting(reinterpret_cast<LPARAM>(on.data()));
    EXPECT_EQ(watch.notice().displayPower(), DisplayPower::On);
}
