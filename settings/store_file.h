#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_store.h"

namespace kelvara {

// The settings as a small text file, for systems without a registry: one
// `name=value` line per value, the value a decimal 32-bit integer (written
// signed, read signed or unsigned), `#` lines are comments. A save writes a
// temporary file beside the real one, syncs it to the disk and renames it over
// (then syncs the folder), so the file is always either the old one or the new
// one, never a mix, even when the process is killed or the power fails during
// a save. A killed save may leave its temporary file behind; later saves
// remove such files once they are kStaleTempFileAge old.
//
// Reading survives any content: lines that are not `name=value` with a value
// that fits 32 bits are skipped, the last line for a name wins. A file that
// exists but cannot be read (not a regular file, an error, over
// kMaxSettingsFileBytes) counts as a missing key, with one line on stderr; a
// save then refuses to replace it, so nothing readable is ever lost.
class FileStore : public SettingsStore {
  public:
    explicit FileStore(std::filesystem::path path);

    bool read(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const override;
    bool write(std::span<const StoredValue> values) override;

    const std::filesystem::path& path() const { return path_; }

    // The file a save writes before renaming it over path() (or over the file
    // path() links to): in the same folder, named uniquely for this store
    // object, so two processes saving at once never write the same one.
    std::filesystem::path tempPath() const;

  private:
    std::filesystem::path path_;
    std::string tempSuffix_;
};

// How old a temporary file of a settings file must be before a save removes
// it as the leftover of a killed save; far longer than any save takes.
inline constexpr std::chrono::minutes kStaleTempFileAge{60};

// A settings file larger than this is not ours; it is treated as unreadable.
inline constexpr std::size_t kMaxSettingsFileBytes = 1u << 20;

// The values of a settings file's text, in the order they first appear, one
// per name (the last line for a name gives its value).
std::vector<StoredValue> parseSettingsText(std::string_view text);

// The text a save writes: a comment line, then `name=value` per value.
std::string formatSettingsText(std::span<const StoredValue> values);

// Where the settings file lives: $XDG_CONFIG_HOME/kelvara/settings when that is
// an absolute path, else $HOME/.config/kelvara/settings; empty when neither
// variable is usable. Either argument may be null (unset).
std::filesystem::path settingsFilePath(const char* xdgConfigHome, const char* home);

// settingsFilePath() from this process's environment.
std::filesystem::path defaultSettingsFilePath();

} // namespace kelvara
