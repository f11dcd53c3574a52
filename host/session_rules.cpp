#include "host/session_rules.h"

namespace kelvara {

bool countMouseMove(MouseMoveCounter& counter, int32_t x, int32_t y) {
    const bool moved = counter.seen && (x != counter.x || y != counter.y);
    counter.seen = true;
    counter.x = x;
    counter.y = y;
    return moved && counter.count++ > kMouseMovesTolerated;
}

StartUpPlan planStartUp(const Settings& settings, bool maySwitchModes) {
    StartUpPlan plan;
    plan.capture = settings.useOGL == 0;
    plan.switchDisplay = maySwitchModes && wantsDisplaySwitch(settings);
    return plan;
}

} // namespace kelvara
