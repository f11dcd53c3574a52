// The registry store against the real registry (under Wine, a throw-away
// prefix). Each test works under a key of its own and deletes it afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "settings/presets.h"
#include "settings/settings_store.h"
#include "settings/store_registry.h"

using namespace kelvara;

namespace {

struct RawValue {
    DWORD type = REG_NONE;
    std::string data;
};

// Every value under HKCU\subkey, by name, as the registry holds it.
std::map<std::string, RawValue> rawValues(const std::string& subkey) {
    std::map<std::string, RawValue> out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[64];
        DWORD dataSize = sizeof data;
        DWORD type = REG_NONE;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        out[name] = {type, std::string(reinterpret_cast<const char*>(data), dataSize)};
    }
    RegCloseKey(key);
    return out;
}

bool keyExists(const std::string& subkey) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void deleteKeyTree(const std::string& subkey) {
    RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, subkey.c_str());
}

void setRaw(const std::string& subkey, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

uint32_t dwordOf(const RawValue& v) {
    uint32_t u = 0;
    std::memcpy(&u, v.data.data(), std::min<std::size_t>(v.data.size(), 4));
    return u;
}

class Registry : public ::testing::Test {
  protected:
    // Beside the program's key, so nothing the program stores is touched.
    std::string subkey = "Software\\Quorvant\\ss\\kv\\kelvara-test-" + std::to_string(GetCurrentProcessId());
    RegistryStore store{subkey};

    void SetUp() override { deleteKeyTree(subkey); }
    void TearDown() override {
        deleteKeyTree(subkey);
        EXPECT_FALSE(keyExists(subkey));
    }
};

Settings unusualSettings() {
    Settings s;
    s.Priority = 5;
    s.x_div = 25.9f;
    s.y_div = 3000000000.0f;
    s.Mode = 3;
    s.genChildren = 999999999;
    s.xyGoraud = 0;
    s.screenTextureWidth = 2048;
    s.rotZ0 = 3600;
    s.zoom1 = 0;
    s.useOGL = 7;
    s.resW = 1280;
    s.resH = 1024;
    s.resC = -1;
    return s;
}

} // namespace

TEST_F(Registry, saveWritesTwentyNineDwordsThatLoadBack) {
    const Settings saved = unusualSettings();
    saveSettings(saved, store);

    const auto values = rawValues(subkey);
    ASSERT_EQ(values.size(), kSettingCount);
    for (const SettingField& f : kSettingFields) {
        auto it = values.find(f.name);
        ASSERT_NE(it, values.end()) << f.name;
        EXPECT_EQ(it->second.type, static_cast<DWORD>(REG_DWORD)) << f.name;
        EXPECT_EQ(it->second.data.size(), 4u) << f.name;
    }
    EXPECT_EQ(dwordOf(values.at("x_div")), 25u);
    EXPECT_EQ(dwordOf(values.at("y_div")), 3000000000u);
    EXPECT_EQ(dwordOf(values.at("resC")), 0xFFFFFFFFu);
    EXPECT_EQ(dwordOf(values.at("Priority")), 5u);

    Settings loaded;
    std::memset(static_cast<void*>(&loaded), 0x55, sizeof loaded);
    loadSettings(loaded, store);
    Settings expected = saved;
    expected.x_div = 25;
    EXPECT_EQ(std::memcmp(&loaded, &expected, sizeof loaded), 0);
}

TEST_F(Registry, missingKeyOrValueLeavesDefaults) {
    Settings defaults;
    setDefaults(defaults);
    Settings s = unusualSettings();
    loadSettings(s, store);
    EXPECT_EQ(std::memcmp(&s, &defaults, sizeof s), 0);
    EXPECT_FALSE(keyExists(subkey)) << "loading must not create the key";

    saveSettings(unusualSettings(), store);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_WRITE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Mode");
    RegCloseKey(key);
    loadSettings(s, store);
    Settings expected = unusualSettings();
    expected.x_div = 25;
    expected.Mode = 0;
    EXPECT_EQ(std::memcmp(&s, &expected, sizeof s), 0);
}

TEST_F(Registry, onlyFourByteDwordsCount) {
    const DWORD allBits = 0xFFFFFFFFu;
    setRaw(subkey, "y_div", REG_DWORD, &allBits, 4);
    setRaw(subkey, "resW", REG_DWORD, &allBits, 4);
    const DWORD one = 1;
    setRaw(subkey, "useOGL", REG_DWORD, &one, 4);
    // Values the program never writes: another type, or a DWORD of the wrong size.
    setRaw(subkey, "x_div", REG_SZ, "40", 3);
    setRaw(subkey, "Mode", REG_SZ, "123", 4); // four bytes, but text
    const BYTE five[4] = {5, 0, 0, 0};
    setRaw(subkey, "Priority", REG_BINARY, five, 4);
    setRaw(subkey, "genChildren", REG_DWORD, five, 2);
    const ULONGLONG big = 7;
    setRaw(subkey, "zoom0", REG_QWORD, &big, 8);
    const BYTE eight[8] = {9, 0, 0, 0, 0, 0, 0, 0};
    setRaw(subkey, "rotX0", REG_DWORD, eight, 8);

    Settings s;
    loadSettings(s, store);
    Settings expected;
    setDefaults(expected);
    expected.y_div = 4294967296.0f; // the unsigned value, not -1
    expected.resW = -1;
    expected.useOGL = 1;
    EXPECT_EQ(std::memcmp(&s, &expected, sizeof s), 0);
    EXPECT_EQ(s.x_div, 25.0f);
    EXPECT_EQ(s.Priority, 2);
    EXPECT_EQ(s.genChildren, 2);
    EXPECT_EQ(s.zoom0, 25.0f);
    EXPECT_EQ(s.rotX0, 10.0f);

    // Saving puts proper DWORDs back in their place.
    saveSettings(s, store);
    const auto values = rawValues(subkey);
    EXPECT_EQ(values.at("x_div").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(values.at("zoom0").data.size(), 4u);
    EXPECT_EQ(dwordOf(values.at("Mode")), 0u);
}

TEST_F(Registry, banksLiveBesideTheSettings) {
    Settings s = unusualSettings();
    saveSettings(s, store);
    saveBank(1, s, store);

    const auto values = rawValues(subkey);
    EXPECT_EQ(values.size(), kSettingCount + kBankFieldCount);
    for (std::size_t i = 0; i < kBankFieldCount; ++i) {
        const std::string name = bankValueName(1, static_cast<int>(i));
        ASSERT_EQ(values.count(name), 1u) << name;
        EXPECT_EQ(values.at(name).type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(values.at(name).data.size(), 4u) << name;
    }
    EXPECT_EQ(dwordOf(values.at("usersave01_01")), 25u);
    // Bank floats are signed: 3e9 does not fit and is kept as the largest int32.
    EXPECT_EQ(dwordOf(values.at("usersave01_02")), 2147483647u);

    Settings recalled;
    setDefaults(recalled);
    recallBank(1, recalled, store);
    EXPECT_EQ(recalled.Priority, 5);
    EXPECT_EQ(recalled.x_div, 25.0f);
    EXPECT_EQ(recalled.Mode, 3);
    EXPECT_EQ(recalled.useOGL, 7);
    EXPECT_EQ(recalled.resW, 0) << "display mode is not in banks";

    recallBank(3, recalled, store);
    EXPECT_EQ(recalled.Priority, 0);
    EXPECT_EQ(recalled.x_div, 0.0f);
    EXPECT_EQ(recalled.screenTextureWidth, 0);
    EXPECT_EQ(recalled.enableMovement, 0);
}

TEST(RegistryKey, platformStoreUsesTheProgramsKey) {
    const std::string key = "Software\\Quorvant\\ss\\kv\\16";
    // Remember the highest part of the path that is missing, to delete only
    // what this test creates.
    std::string createdRoot;
    for (const char* part : {"Software\\Quorvant", "Software\\Quorvant\\ss", "Software\\Quorvant\\ss\\kv",
                             "Software\\Quorvant\\ss\\kv\\16"}) {
        if (!keyExists(part)) {
            createdRoot = part;
            break;
        }
    }

    const std::string probe = "kelvaraTestProbe" + std::to_string(GetCurrentProcessId());
    auto store = makePlatformStore();
    const StoredValue value{probe, 0x12345678u};
    ASSERT_TRUE(store->write({&value, 1}));
    const auto values = rawValues(key);
    ASSERT_EQ(values.count(probe), 1u);
    EXPECT_EQ(values.at(probe).type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(dwordOf(values.at(probe)), 0x12345678u);

    if (!createdRoot.empty()) {
        deleteKeyTree(createdRoot);
        EXPECT_FALSE(keyExists(createdRoot));
    } else {
        HKEY k;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_WRITE, &k), ERROR_SUCCESS);
        RegDeleteValueA(k, probe.c_str());
        RegCloseKey(k);
    }
}
