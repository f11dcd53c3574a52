#include "settings/settings.h"

namespace kelvara {

void setDefaults(Settings& s) {
    s = Settings{};
}

namespace {

// Thread priorities of the steps, beside their labels in kPriorityChoices.
constexpr std::array<ThreadPriority, kPrioritySteps> kPriorityThreads = {
    ThreadPriority::Lowest,      ThreadPriority::BelowNormal, ThreadPriority::Normal,
    ThreadPriority::AboveNormal, ThreadPriority::Highest,     ThreadPriority::TimeCritical,
};

// A step's label sits at its own index.
constexpr bool choicesAreSteps() {
    for (int32_t i = 0; i < kPrioritySteps; ++i)
        if (kPriorityChoices[i].value != i)
            return false;
    return true;
}
static_assert(choicesAreSteps());

// Every default lies in its setting's range, and so does every named value.
constexpr bool rangesHoldTheirValues() {
    for (const SettingField& f : kSettingFields) {
        if (f.low > f.high || f.defaultValue < f.low || f.defaultValue > f.high)
            return false;
        if (f.values.kind == SettingKind::Flag && (f.low != 0 || f.high != 1))
            return false;
        if (f.values.kind == SettingKind::Choice &&
            (f.values.choices.empty() || f.values.choices.front().value != f.low ||
             f.values.choices.back().value != f.high))
            return false;
    }
    return true;
}
static_assert(rangesHoldTheirValues());

bool inTable(int32_t priority) {
    return priority >= 0 && priority < kPrioritySteps;
}

} // namespace

const char* priorityLabel(int32_t priority) {
    return inTable(priority) ? kPriorityChoices[priority].label : "Normal";
}

ThreadPriority threadPriorityFor(int32_t priority) {
    return inTable(priority) ? kPriorityThreads[static_cast<std::size_t>(priority)] : ThreadPriority::Normal;
}

} // namespace kelvara
