#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "settings/settings.h"

namespace kelvara {

// One named 32-bit value as a store keeps it: the bits of a REG_DWORD.
struct StoredValue {
    std::string name;
    uint32_t value = 0;
};

// Where the settings and the user banks live between runs: named 32-bit values
// under one key (the registry on Windows, a small text file elsewhere, a map in
// tests). Stores never throw and never show anything to the user; a value that
// cannot be used is simply missing.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Opens the key, reads each of `names` into the same slot of `values`
    // (nullopt where the value is missing or unusable) and closes the key.
    // False when the key cannot be opened: every slot is then nullopt.
    // `values` must be as long as `names`.
    virtual bool read(std::span<const std::string> names,
                      std::span<std::optional<uint32_t>> values) const = 0;

    // Opens the key for writing, creating it when it does not exist, and sets
    // every value; values of other names under the key are kept. False when
    // the key cannot be opened for writing; nothing is written then.
    virtual bool write(std::span<const StoredValue> values) = 0;

    // As read(), for a save that looks at what is stored before it writes: it
    // reports nothing and changes nothing the store has learned from its
    // loads (a store that refuses saves after a failed load keeps refusing).
    virtual bool peek(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const {
        return read(names, values);
    }
};

// The store this build keeps its settings in: the registry key on Windows
// (store_registry_win32.cpp), the settings file elsewhere (store_default_posix.cpp).
std::unique_ptr<SettingsStore> makePlatformStore();

// Float settings are stored as whole numbers, read back as unsigned 32-bit
// integers. Truncates toward zero and saturates to 0..4294967295, so every
// value in that range survives a save and load as its whole part; negative
// values and NaN store 0, +infinity and anything from 2^32 up store 4294967295.
uint32_t storedFromFloat(float v);
inline float floatFromStored(uint32_t bits) {
    return static_cast<float>(bits);
}

// Fills `s` from the store: defaults first, then every value the store has, in
// stored order. A missing key or value leaves the default.
void loadSettings(Settings& s, const SettingsStore& store);

// Writes every setting. A float field whose stored value already loads as its
// value keeps that stored value (whole numbers above 2^24 that float cannot
// hold). A store that cannot be written is ignored.
void saveSettings(const Settings& s, SettingsStore& store);

// The 32 bits a store keeps for a field of the record, and back (floats as above).
uint32_t storedFieldValue(const Settings& s, const SettingField& field);
void setFieldFromStored(Settings& s, const SettingField& field, uint32_t bits);

} // namespace kelvara
