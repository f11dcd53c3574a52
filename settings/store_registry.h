#pragma once

#include <string>

#include "settings/settings_store.h"

namespace kelvara {

// Subkey of HKEY_CURRENT_USER that holds the settings and the user banks.
inline constexpr const char* kSettingsRegistryKey = "Software\\Quorvant\\ss\\kv\\16";

// The Windows settings store (store_registry_win32.cpp): REG_DWORD values under
// a subkey of HKEY_CURRENT_USER. Only a REG_DWORD of exactly 4 bytes counts as a
// value; any other type or size reads as missing. Writes create the key when
// needed and set REG_DWORD values of 4 bytes; the result of each single write
// is not checked, as a failed one only leaves the old value in place.
class RegistryStore : public SettingsStore {
  public:
    explicit RegistryStore(std::string subkey = kSettingsRegistryKey) : subkey_(std::move(subkey)) {}

    bool read(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const override;
    bool write(std::span<const StoredValue> values) override;

    const std::string& subkey() const { return subkey_; }

  private:
    std::string subkey_;
};

} // namespace kelvara
