#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "settings/presets.h"
#include "settings/store_memory.h"

using namespace kelvara;

namespace {

// Every field at a value of its own that no preset uses, so a field a preset
// must not touch shows any change.
Settings sentinelSettings() {
    Settings s;
    for (std::size_t i = 0; i < kSettingFields.size(); ++i) {
        const SettingField& f = kSettingFields[i];
        if (f.type == FieldType::Float)
            setFloatField(s, f, 1000.0f + static_cast<float>(i));
        else
            setIntField(s, f, 1000 + static_cast<int32_t>(i));
    }
    return s;
}

double valueOf(const Settings& s, const SettingField& f) {
    return f.type == FieldType::Float ? floatField(s, f) : intField(s, f);
}

const SettingField& fieldNamed(const std::string& name) {
    for (const SettingField& f : kSettingFields) {
        if (name == f.name)
            return f;
    }
    ADD_FAILURE() << "no field " << name;
    return kSettingFields[0];
}

// The preset table, written out column by column; a missing column leaves
// its field alone.
using Row = std::map<std::string, double>;

Row explodeRow(double x, double y, double children, double rx0, double rx1, double ry0, double ry1, double rz0,
               double rz1, double z0, double z1) {
    return {{"x_div", x},   {"y_div", y},   {"Mode", 0},    {"genChildren", children}, {"enableMovement", 1},
            {"rotX0", rx0}, {"rotX1", rx1}, {"rotY0", ry0}, {"rotY1", ry1},            {"rotZ0", rz0},
            {"rotZ1", rz1}, {"zoom0", z0},  {"zoom1", z1}};
}

Row waveRow(double x, double y, double mode, double amp, double f1, double f2, double rx0, double rx1, double ry0,
            double ry1, double rz0, double rz1, double z0, double z1) {
    return {{"x_div", x},   {"y_div", y},         {"Mode", mode},         {"xyAmplitude", amp},
            {"xyFrequency1", f1}, {"xyFrequency2", f2}, {"enableMovement", 1}, {"rotX0", rx0},
            {"rotX1", rx1}, {"rotY0", ry0},       {"rotY1", ry1},         {"rotZ0", rz0},
            {"rotZ1", rz1}, {"zoom0", z0},        {"zoom1", z1}};
}

const std::map<Preset, Row>& presetTable() {
    static const std::map<Preset, Row> table = {
        {Preset::Explode1, explodeRow(30, 25, 2, 45, 30, 45, 25, 45, 20, 3, 0)},
        {Preset::Explode2, explodeRow(5, 35, 2, 30, 30, 30, 50, 60, 20, 4, 0)},
        {Preset::Explode3, explodeRow(40, 5, 2, 0, 0, 360, 30, 0, 0, 5, 0)},
        {Preset::Explode4, explodeRow(5, 5, 3, 0, 0, 30, 30, 20, 10, 5, 0)},
        {Preset::Wave1, waveRow(60, 40, 3, 7, 25, 25, 0, 0, 0, 0, 0, 0, 14, 0)},
        {Preset::Wave2, waveRow(80, 60, 2, 80, 10, 15, 0, 0, 80, 20, 360, 50, 13, 0)},
        {Preset::Wave3, waveRow(80, 60, 3, 50, 20, 20, 0, 0, 0, 0, 3600, 100, 14, 0)},
        {Preset::Wave4, waveRow(60, 40, 3, 20, 20, 30, 10, 30, 10, 25, 45, 20, 25, 20)},
    };
    return table;
}

bool sameBytes(const Settings& a, const Settings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

TEST(Presets, eachPresetSetsItsRowAndNothingElse) {
    const Settings before = sentinelSettings();
    ASSERT_EQ(presetTable().size(), kPresets.size());
    for (const auto& [preset, row] : presetTable()) {
        Settings s = before;
        applyPreset(s, preset);
        const int n = static_cast<int>(preset);
        for (const SettingField& f : kSettingFields) {
            auto it = row.find(f.name);
            const double expected = it != row.end() ? it->second : valueOf(before, f);
            EXPECT_EQ(valueOf(s, f), expected) << "preset " << n << ", " << f.name;
        }
    }

    // The fields the dialog and the render thread rely on no preset touching.
    Settings s = before;
    for (Preset preset : kPresets)
        applyPreset(s, preset);
    for (const char* name : {"Priority", "xySizeX", "xySizeY", "xyGoraud", "useLinear", "screenTextureWidth",
                             "screenTextureHeight", "useTrails", "useOGL", "randPreset", "resW", "resH", "resC"})
        EXPECT_EQ(valueOf(s, fieldNamed(name)), valueOf(before, fieldNamed(name))) << name;

    // Wave 4's movement is the default movement.
    Settings defaults;
    setDefaults(defaults);
    applyPreset(s, Preset::Wave4);
    for (const char* name : {"rotX0", "rotX1", "rotY0", "rotY1", "rotZ0", "rotZ1", "zoom0", "zoom1"})
        EXPECT_EQ(valueOf(s, fieldNamed(name)), valueOf(defaults, fieldNamed(name))) << name;
}

TEST(Presets, randomPresetTakesOneDrawModuloEight) {
    // Draw n modulo 8 picks Explode 1 to 4, then Wave 1 to 4.
    const Preset byRemainder[8] = {Preset::Explode1, Preset::Explode2, Preset::Explode3, Preset::Explode4,
                                   Preset::Wave1,    Preset::Wave2,    Preset::Wave3,    Preset::Wave4};
    std::set<Preset> seen;
    for (int draw : {0, 1, 2, 3, 4, 5, 6, 7, 8, 13, 32760, 32767}) {
        EXPECT_EQ(presetForDraw(draw), byRemainder[draw % 8]) << draw;
        seen.insert(presetForDraw(draw));
    }
    EXPECT_EQ(seen.size(), 8u);
}

TEST(Banks, valueNamesAndFieldOrder) {
    EXPECT_EQ(bankValueName(0, 0), "usersave00_00");
    EXPECT_EQ(bankValueName(1, 9), "usersave01_09");
    EXPECT_EQ(bankValueName(3, 25), "usersave03_25");

    const char* order[] = {"Priority", "x_div", "y_div", "xyAmplitude", "xyFrequency1", "xyFrequency2",
                           "xySizeX", "xySizeY", "Mode", "genChildren", "xyGoraud", "useLinear",
                           "screenTextureWidth", "screenTextureHeight", "useTrails", "enableMovement",
                           "rotX0", "rotX1", "rotY0", "rotY1", "rotZ0", "rotZ1", "zoom0", "zoom1",
                           "useOGL", "randPreset"};
    ASSERT_EQ(bankFields().size(), std::size(order));
    for (std::size_t i = 0; i < std::size(order); ++i)
        EXPECT_STREQ(bankFields()[i].name, order[i]) << i;

    // Saving bank D writes exactly its fields' names, field number by field number.
    MemoryStore store;
    Settings s = sentinelSettings();
    saveBank(3, s, store);
    ASSERT_EQ(store.values().size(), kBankFieldCount);
    EXPECT_EQ(store.get("usersave03_00"), 1000u);      // Priority
    EXPECT_EQ(store.get("usersave03_08"), 1008u);      // Mode
    EXPECT_EQ(store.get("usersave03_25"), 1025u);      // randPreset
    EXPECT_FALSE(store.get("usersave03_26").has_value());
    EXPECT_FALSE(store.get("Priority").has_value());
}

TEST(Banks, saveAndRecallGiveBackTheTwentySixFields) {
    MemoryStore store;
    Settings main;
    setDefaults(main);
    saveSettings(main, store);
    const auto mainValues = store.values();

    Settings s = sentinelSettings();
    s.x_div = 25.9f;   // banks keep whole parts
    s.rotZ0 = -12.7f;  // and, unlike the main values, negative floats
    s.Priority = -1;
    saveBank(1, s, store);
    Settings expected = s;
    expected.x_div = 25;
    expected.rotZ0 = -12;

    // The main values are untouched by a bank save.
    for (const auto& [name, value] : mainValues)
        EXPECT_EQ(store.get(name), value) << name;

    Settings other;
    setDefaults(other);
    other.resW = 640;
    other.resH = 480;
    other.resC = 16;
    recallBank(1, other, store);
    expected.resW = 640;
    expected.resH = 480;
    expected.resC = 16;
    EXPECT_TRUE(sameBytes(other, expected));

    // Banks are independent of each other.
    Settings t;
    setDefaults(t);
    saveBank(2, t, store);
    recallBank(1, other, store);
    EXPECT_TRUE(sameBytes(other, expected));
}

TEST(Banks, neverSavedBankRecallsZerosButNoKeyChangesNothing) {
    MemoryStore store;
    Settings main;
    setDefaults(main);
    saveSettings(main, store);

    Settings s = sentinelSettings();
    recallBank(2, s, store);
    for (std::size_t i = 0; i < kSettingFields.size(); ++i) {
        const SettingField& f = kSettingFields[i];
        const double expected = i < kBankFieldCount ? 0.0 : 1000.0 + static_cast<double>(i);
        EXPECT_EQ(valueOf(s, f), expected) << f.name;
    }

    // One value missing from a saved bank: that field alone reads 0.
    saveBank(0, sentinelSettings(), store);
    store.erase("usersave00_13");
    s = sentinelSettings();
    recallBank(0, s, store);
    EXPECT_EQ(s.screenTextureHeight, 0);
    EXPECT_EQ(s.screenTextureWidth, 1012);

    MemoryStore noKey;
    s = sentinelSettings();
    recallBank(0, s, noKey);
    EXPECT_TRUE(sameBytes(s, sentinelSettings()));
}

TEST(Banks, floatsAreReadBackSignedAndSaturate) {
    MemoryStore store;
    store.set("usersave00_01", 0xFFFFFFFFu); // x_div
    store.set("usersave00_00", 0xFFFFFFFFu); // Priority
    store.set("usersave00_22", 0x80000000u); // zoom0
    Settings s;
    recallBank(0, s, store);
    EXPECT_EQ(s.x_div, -1.0f);
    EXPECT_EQ(s.Priority, -1);
    EXPECT_EQ(s.zoom0, -2147483648.0f);

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float in;
        int32_t stored;
    } cases[] = {
        {nan, 0},           {-0.9f, 0},           {7.99f, 7},
        {-7.99f, -7},       {3e9f, INT32_MAX},    {2147483648.0f, INT32_MAX},
        {inf, INT32_MAX},   {-inf, INT32_MIN},    {-2147483648.0f, INT32_MIN},
        {-3e9f, INT32_MIN}, {2147483520.0f, 2147483520}, // the largest float below 2^31
    };
    for (const Case& c : cases)
        EXPECT_EQ(bankValueFromFloat(c.in), c.stored) << c.in;

    // A value beyond the range comes back as the nearest the bank can hold,
    // and stays there through another save and recall.
    s.x_div = 3e9f;
    saveBank(0, s, store);
    recallBank(0, s, store);
    EXPECT_EQ(s.x_div, 2147483648.0f);
    saveBank(0, s, store);
    EXPECT_EQ(store.get("usersave00_01"), static_cast<uint32_t>(INT32_MAX));
}

TEST(Banks, onlyBanksZeroToThree) {
    MemoryStore store;
    store.createKey();
    const Settings s = sentinelSettings();
    for (int bank : {-1, 4, 99, 100}) {
        saveBank(bank, s, store);
        Settings t = sentinelSettings();
        t.Mode = 2;
        const Settings before = t;
        recallBank(bank, t, store);
        EXPECT_TRUE(sameBytes(t, before)) << bank;
    }
    EXPECT_EQ(store.writeCount, 0);
    EXPECT_TRUE(store.values().empty());
}
