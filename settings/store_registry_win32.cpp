// Registry settings store for Windows: HKEY_CURRENT_USER, one REG_DWORD per
// value. Provides RegistryStore and makePlatformStore(). Errors are silent, as
// everywhere in the Windows build: a key that cannot be opened reads as no
// settings at all, and a failed save leaves the old values.
#include "settings/store_registry.h"

#include <windows.h>

#include <cassert>
#include <cstring>

namespace kelvara {

bool RegistryStore::read(std::span<const std::string> names,
                         std::span<std::optional<uint32_t>> values) const {
    assert(values.size() == names.size());
    for (auto& v : values)
        v.reset();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
        BYTE data[4] = {};
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        // Room for exactly 4 bytes: longer data fails with ERROR_MORE_DATA.
        // Shorter data or another type was never written by this program, and
        // reading a string's bytes as a number would give nonsense.
        if (RegQueryValueExA(key, names[i].c_str(), nullptr, &type, data, &size) == ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof data) {
            uint32_t v;
            std::memcpy(&v, data, sizeof v); // REG_DWORD is little-endian, as is every Windows target
            values[i] = v;
        }
    }
    RegCloseKey(key);
    return true;
}

bool RegistryStore::write(std::span<const StoredValue> values) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    for (const StoredValue& v : values) {
        BYTE data[4];
        std::memcpy(data, &v.value, sizeof data);
        RegSetValueExA(key, v.name.c_str(), 0, REG_DWORD, data, sizeof data);
    }
    RegCloseKey(key);
    return true;
}

std::unique_ptr<SettingsStore> makePlatformStore() {
    return std::make_unique<RegistryStore>();
}

} // namespace kelvara
