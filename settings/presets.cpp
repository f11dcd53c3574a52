#include "settings/presets.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace kelvara {

namespace {

// One fixed preset. Explode presets leave the wave options alone and wave
// presets leave the children count alone; every preset turns movement on.
struct PresetRow {
    Preset id;
    float x_div, y_div;
    int32_t mode;
    std::optional<int32_t> genChildren;
    std::optional<float> xyAmplitude, xyFrequency1, xyFrequency2;
    float rotX0, rotX1, rotY0, rotY1, rotZ0, rotZ1, zoom0, zoom1;
};

constexpr std::nullopt_t kKeep = std::nullopt;

// clang-format off
const PresetRow kPresetRows[] = {
    // id                   x   y   Mode     children amplitude freq1 freq2  rotX    rotY     rotZ       zoom
    {Preset::Explode1,    30, 25, kExplode, 2,       kKeep, kKeep, kKeep, 45, 30, 45, 25,  45, 20,    3, 0},
    {Preset::Explode2,     5, 35, kExplode, 2,       kKeep, kKeep, kKeep, 30, 30, 30, 50,  60, 20,    4, 0},
    {Preset::Explode3,    40,  5, kExplode, 2,       kKeep, kKeep, kKeep,  0,  0, 360, 30,  0,  0,    5, 0},
    {Preset::Explode4,     5,  5, kExplode, 3,       kKeep, kKeep, kKeep,  0,  0, 30, 30,  20, 10,    5, 0},
    {Preset::Wave1,       60, 40, kWave3,   kKeep,   7,     25,    25,     0,  0,  0,  0,   0,  0,   14, 0},
    {Preset::Wave2,       80, 60, kWave2,   kKeep,   80,    10,    15,     0,  0, 80, 20, 360, 50,   13, 0},
    {Preset::Wave3,       80, 60, kWave3,   kKeep,   50,    20,    20,     0,  0,  0,  0, 3600, 100, 14, 0},
    {Preset::Wave4,       60, 40, kWave3,   kKeep,   20,    20,    30,    10, 30, 10, 25,  45, 20,   25, 20},
};
// clang-format on

template <typename T> void setIf(T& field, const std::optional<T>& v) {
    if (v)
        field = *v;
}

bool validBank(int bank) {
    return bank >= 0 && bank < kBankCount;
}

std::vector<std::string> bankValueNames(int bank) {
    std::vector<std::string> names;
    names.reserve(kBankFieldCount);
    for (std::size_t i = 0; i < kBankFieldCount; ++i)
        names.push_back(bankValueName(bank, static_cast<int>(i)));
    return names;
}

} // namespace

void applyPreset(Settings& s, Preset preset) {
    for (const PresetRow& p : kPresetRows) {
        if (p.id != preset)
            continue;
        s.x_div = p.x_div;
        s.y_div = p.y_div;
        s.Mode = p.mode;
        setIf(s.genChildren, p.genChildren);
        setIf(s.xyAmplitude, p.xyAmplitude);
        setIf(s.xyFrequency1, p.xyFrequency1);
        setIf(s.xyFrequency2, p.xyFrequency2);
        s.enableMovement = 1;
        s.rotX0 = p.rotX0;
        s.rotX1 = p.rotX1;
        s.rotY0 = p.rotY0;
        s.rotY1 = p.rotY1;
        s.rotZ0 = p.rotZ0;
        s.rotZ1 = p.rotZ1;
        s.zoom0 = p.zoom0;
        s.zoom1 = p.zoom1;
        return;
    }
}

Preset presetForDraw(int draw) {
    return kPresets[static_cast<std::size_t>(draw) % kPresets.size()];
}

namespace {

constexpr std::array<SettingField, kBankFieldCount> bankFieldTable() {
    std::array<SettingField, kBankFieldCount> fields{};
    for (std::size_t i = 0; i < kBankFieldCount; ++i) {
        const std::size_t at = settingIndex(kBankFieldNames[i]);
        // A name that is no setting's makes this a constant expression no more.
        fields[i] = at < kSettingCount ? kSettingFields[at] : throw "bank field is no setting";
    }
    return fields;
}

constexpr std::array<SettingField, kBankFieldCount> kBankFields = bankFieldTable();

} // namespace

std::span<const SettingField, kBankFieldCount> bankFields() {
    return kBankFields;
}

std::string bankValueName(int bank, int field) {
    char name[32];
    std::snprintf(name, sizeof name, "usersave%02d_%02d", bank, field);
    return name;
}

int32_t bankValueFromFloat(float v) {
    // -2^31 is a float and fits; 2^31 is the first float above the range.
    constexpr float kPastSigned = 2147483648.0f;
    if (std::isnan(v))
        return 0;
    if (v >= kPastSigned)
        return INT32_MAX;
    if (v < -kPastSigned)
        return INT32_MIN;
    return static_cast<int32_t>(v); // truncates toward zero
}

void saveBank(int bank, const Settings& s, SettingsStore& store) {
    if (!validBank(bank))
        return;
    std::vector<StoredValue> values;
    values.reserve(kBankFieldCount);
    for (std::size_t i = 0; i < kBankFieldCount; ++i) {
        const SettingField& f = bankFields()[i];
        const int32_t v = f.type == FieldType::Float ? bankValueFromFloat(floatField(s, f)) : intField(s, f);
        values.push_back({bankValueName(bank, static_cast<int>(i)), static_cast<uint32_t>(v)});
    }
    store.write(values);
}

void recallBank(int bank, Settings& s, const SettingsStore& store) {
    if (!validBank(bank))
        return;
    const std::vector<std::string> names = bankValueNames(bank);
    std::array<std::optional<uint32_t>, kBankFieldCount> values;
    if (!store.read(names, values))
        return;
    for (std::size_t i = 0; i < kBankFieldCount; ++i) {
        const SettingField& f = bankFields()[i];
        const auto v = static_cast<int32_t>(values[i].value_or(0));
        if (f.type == FieldType::Float)
            setFloatField(s, f, floatFromBankValue(v));
        else
            setIntField(s, f, v);
    }
}

} // namespace kelvara
