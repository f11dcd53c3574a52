#include "settings/settings_store.h"

#include <array>
#include <cmath>
#include <vector>

namespace kelvara {

namespace {

const std::vector<std::string>& settingNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        n.reserve(kSettingFields.size());
        for (const SettingField& f : kSettingFields)
            n.emplace_back(f.name);
        return n;
    }();
    return names;
}

} // namespace

uint32_t storedFromFloat(float v) {
    // 4294967296 is the first float past the unsigned range; every float below
    // it converts without overflow once it is known not to be negative or NaN.
    constexpr float kPastUnsigned = 4294967296.0f;
    if (std::isnan(v) || v <= 0.0f)
        return 0;
    if (v >= kPastUnsigned)
        return UINT32_MAX;
    return static_cast<uint32_t>(v); // truncates toward zero
}

uint32_t storedFieldValue(const Settings& s, const SettingField& field) {
    if (field.type == FieldType::Float)
        return storedFromFloat(floatField(s, field));
    return static_cast<uint32_t>(intField(s, field));
}

void setFieldFromStored(Settings& s, const SettingField& field, uint32_t bits) {
    if (field.type == FieldType::Float)
        setFloatField(s, field, floatFromStored(bits));
    else
        setIntField(s, field, static_cast<int32_t>(bits));
}

void loadSettings(Settings& s, const SettingsStore& store) {
    setDefaults(s);
    std::array<std::optional<uint32_t>, kSettingCount> values;
    if (!store.read(settingNames(), values))
        return;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        if (values[i])
            setFieldFromStored(s, kSettingFields[i], *values[i]);
    }
}

void saveSettings(const Settings& s, SettingsStore& store) {
    // Above 2^24 most stored whole numbers have no float of their own: a
    // stored 16777217 loads as 16777216, 999999999 as 10^9. Where the stored
    // bits still load as the field's value they are written back as they are,
    // so a run that changed nothing leaves the user's numbers alone.
    std::array<std::optional<uint32_t>, kSettingCount> current;
    store.peek(settingNames(), current);
    std::vector<StoredValue> values;
    values.reserve(kSettingCount);
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        const SettingField& f = kSettingFields[i];
        uint32_t bits = storedFieldValue(s, f);
        if (f.type == FieldType::Float && current[i] && floatFromStored(*current[i]) == floatField(s, f))
            bits = *current[i];
        values.push_back({f.name, bits});
    }
    store.write(values);
}

} // namespace kelvara
