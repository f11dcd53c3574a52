#pragma once

// The hostile settings matrix: stored values a user, another program or a
// damaged store can leave behind, each run through the real saver by
// hostile_native (settings file, Xvfb) and, for a sample, hostile_win32
// (registry, Wine). Portable: both drivers share the list and the checks.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace kelvara::hostile {

// The values as a store keeps them (the bits of a REG_DWORD), stored order.
using StoredRecord = std::array<uint32_t, kSettingCount>;

enum class Expect {
    Unchanged,     // exit 0, at least the asked frames, every stored value as it was
    RandomPreset,  // exit 0, frames, the values as they were but for one preset's
    SwitchRefused, // exit 1 before drawing (no such display mode), nothing saved
};

struct HostileCase {
    std::string name; // unique, usable as a folder name
    StoredRecord stored{};
    // Values from 2^31 up written as unsigned decimals ("4294967295"), as
    // another program or a hand edit may; a save writes them signed, so the
    // file then comes back equal in value rather than in bytes.
    bool unsignedText = false;
    Expect expect = Expect::Unchanged;
    // The heaviest scenes (the most shards or grid vertices the scene allows)
    // cost up to 2 s a frame under a software renderer, so a routine run
    // gives them fewer frames; the driver says how many.
    bool heavy = false;
};

// Every case of the matrix: one field at a time over its value list, then
// the combinations whose fields act on each other.
std::vector<HostileCase> allCases();

// The cases the Windows build runs under Wine: a few of allCases() by name,
// chosen to cover each kind of field and outcome.
std::vector<HostileCase> windowsSample();

// The settings file a case starts from.
std::string settingsFileText(const HostileCase& c);

// Index of a field in stored order; the name must be a setting's.
std::size_t fieldIndex(const char* name);

// The record as the defaults store it.
StoredRecord defaultRecord();

// Why the values found after a run break the case's expectation, or nullopt
// when they keep it. `after` holds nullopt where a value is missing.
std::optional<std::string> checkStoredAfter(const HostileCase& c,
                                            const std::array<std::optional<uint32_t>, kSettingCount>& after);

// The stored value as text for a report: "x_div=4294967295".
std::string describeValue(std::size_t field, uint32_t bits);

} // namespace kelvara::hostile
