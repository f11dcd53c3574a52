#include "scene/limits.h"

#include <cmath>
#include <limits>

#include "settings/settings.h"

namespace kelvara {

// The settings' documented ranges end where the scene stops building more.
static_assert(kSettingFields[settingIndex("x_div")].high == kMaxDivisions);
static_assert(kSettingFields[settingIndex("y_div")].high == kMaxDivisions);
static_assert(kSettingFields[settingIndex("genChildren")].high == kMaxChildrenPerSplit);

float boundedDivisions(float div) {
    if (!(div > 0.0f)) // NaN and non-positive values
        return 0.0f;
    return div > static_cast<float>(kMaxDivisions) ? static_cast<float>(kMaxDivisions) : div;
}

int divisionCount(float div) {
    const float d = boundedDivisions(div);
    // i < d for whole i: ceil(d) steps (a stored 2.5 runs i = 0, 1, 2).
    return static_cast<int>(std::ceil(d));
}

int32_t truncToInt(float v) {
    if (std::isnan(v))
        return 0;
    if (v >= 2147483648.0f)
        return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0f)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

} // namespace kelvara
