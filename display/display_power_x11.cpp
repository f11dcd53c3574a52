// The display's power state on X11, through the DPMS extension.
//
// Provides: makeDpmsSource for the render thread's sleep gate.
// Limits: DPMS only; a monitor blanked without DPMS (the server's own screen
// saver blanking, a compositor's fade) still counts as lit. Under XScreenSaver
// the daemon stops its programs itself when it powers the monitors down, so
// this matters most for the saver run on its own.
#include "display/display_x11.h"

#include <X11/extensions/dpms.h>

namespace kelvara {

namespace {

class DpmsPowerSource final : public DisplayPowerSource {
  public:
    explicit DpmsPowerSource(Display* display) : display_(display) {}

    DisplayPower displayPower() override {
        CARD16 level = DPMSModeOn;
        BOOL enabled = False;
        if (!DPMSInfo(display_, &level, &enabled) || !enabled)
            return DisplayPower::On;
        return level == DPMSModeOn ? DisplayPower::On : DisplayPower::Off;
    }

  private:
    Display* display_;
};

} // namespace

std::unique_ptr<DisplayPowerSource> makeDpmsSource(Display* display) {
    int event = 0, error = 0;
    if (display == nullptr || !DPMSQueryExtension(display, &event, &error) || !DPMSCapable(display))
        return nullptr;
    return std::make_unique<DpmsPowerSource>(display);
}

} // namespace kelvara
