#include "settings/settings.h"

namespace kelvara {

const std::array<SettingField, kSettingCount> kSettingFields = {{
#define KELVARA_FIELD_ENTRY(name, type, def)                                                                 \
    {#name, sizeof(type) == 4 && static_cast<type>(0.5) != 0 ? FieldType::Float : FieldType::Int,            \
     offsetof(Settings, name), def},
    KELVARA_SETTINGS(KELVARA_FIELD_ENTRY)
#undef KELVARA_FIELD_ENTRY
}};

void setDefaults(Settings& s) { s = Settings{}; }

namespace {

struct PriorityStep {
    const char* label;
    int threadPriority;
};

constexpr std::array<PriorityStep, kPrioritySteps> kPriorityTable = {{
    {"Lowest", kThreadPriorityLowest},
    {"Below Normal", kThreadPriorityBelowNormal},
    {"Normal", kThreadPriorityNormal},
    {"Above Normal", kThreadPriorityAboveNormal},
    {"Highest", kThreadPriorityHighest},
    {"Time Critical", kThreadPriorityTimeCritical},
}};

bool inTable(int32_t priority) { return priority >= 0 && priority < kPrioritySteps; }

} // namespace

const char* priorityLabel(int32_t priority) {
    return inTable(priority) ? kPriorityTable[static_cast<std::size_t>(priority)].label : "Normal";
}

int threadPriorityFor(int32_t priority) {
    return inTable(priority) ? kPriorityTable[static_cast<std::size_t>(priority)].threadPriority
                             : kThreadPriorityNormal;
}

} // namespace kelvara
