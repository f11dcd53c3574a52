#pragma once

#include <map>
#include <string>

#include "settings/settings_store.h"

namespace kelvara {

// A store held in memory, for tests: starts with no key at all (reads fail
// until the first write or createKey), and lets a test put any value in,
// take one out or refuse writes as a key that cannot be opened would.
class MemoryStore : public SettingsStore {
  public:
    bool read(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const override;
    bool write(std::span<const StoredValue> values) override;

    void createKey() { keyExists_ = true; }
    bool keyExists() const { return keyExists_; }

    // Puts a value in directly, creating the key.
    void set(const std::string& name, uint32_t value);
    void erase(const std::string& name) { values_.erase(name); }
    std::optional<uint32_t> get(const std::string& name) const;
    const std::map<std::string, uint32_t>& values() const { return values_; }

    // While set, write() fails as if the key could not be opened for writing.
    bool refuseWrites = false;
    // Successful write() calls so far.
    int writeCount = 0;

  private:
    bool keyExists_ = false;
    std::map<std::string, uint32_t> values_;
};

} // namespace kelvara
