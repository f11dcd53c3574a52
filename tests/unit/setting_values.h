#pragma once

// Reading the settings record through its table, for tests that check fields
// by name or walk all of them.

#include <string_view>

#include "settings/settings.h"

namespace kelvara::test {

// A field's value whatever its type; an unknown name throws.
inline double fieldValue(const Settings& s, const SettingField& f) {
    return f.type == FieldType::Int ? static_cast<double>(intField(s, f)) : static_cast<double>(floatField(s, f));
}
inline double fieldValue(const Settings& s, std::string_view name) {
    return fieldValue(s, kSettingFields.at(settingIndex(name)));
}

} // namespace kelvara::test
