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
// that fits 32 bits are skipped (one line on stderr names the first and counts
// the rest; those settings keep their defaults), the last line for a name
// wins. A file that exists but cannot be read counts as a missing key, with
// one line on stderr: not a regular file, an error, over
// kMaxSettingsFileBytes, a zero byte (not text), or text in which no line is a
// value or a comment (someone else's file). A save then refuses to replace it,
// and so does every later save through a store whose read found the file
// unreadable, so nothing a user has is ever lost.
class FileStore : public SettingsStore {
  public:
    explicit FileStore(std::filesystem::path path);

    bool read(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const override;
    bool write(std::span<const StoredValue> values) override;
    bool peek(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const override;

    const std::filesystem::path& path() const { return path_; }

    // The file a save writes before renaming it over path() (or over the file
    // path() links to): in the same folder, named uniquely for this store
    // object, so two processes saving at once never write the same one.
    std::filesystem::path tempPath() const;

  private:
    std::filesystem::path path_;
    std::string tempSuffix_;
    // Set by a read that found the file there but could not use it: the run
    // goes on with defaults, which must not replace what the user has.
    mutable std::string unreadReason_;

    bool readValues(std::span<const std::string> names, std::span<std::optional<uint32_t>> values,
                    bool quietly) const;
};

// How old a temporary file of a settings file must be before a save removes
// it as the leftover of a killed save; far longer than any save takes.
inline constexpr std::chrono::minutes kStaleTempFileAge{60};

// A settings file larger than this is not ours; it is treated as unreadable.
inline constexpr std::size_t kMaxSettingsFileBytes = 1u << 20;

// A line longer than this is not one a save writes; it is skipped.
inline constexpr std::size_t kMaxSettingsLineBytes = 1024;

// What a read of a settings file's text passed over.
struct SkippedLines {
    std::size_t count = 0;     // lines that are neither blank, a comment nor a value
    std::size_t firstLine = 0; // 1-based number of the first of them
    std::string firstText;     // its text, printable and cut to a message's length
    std::size_t commentLines = 0;
};

// The values of a settings file's text, in the order they first appear, one
// per name (the last line for a name gives its value). `skipped`, when given,
// learns about the lines that gave no value.
std::vector<StoredValue> parseSettingsText(std::string_view text, SkippedLines* skipped = nullptr);

// The text a save writes: a comment line, then `name=value` per value.
std::string formatSettingsText(std::span<const StoredValue> values);

// Where the settings file lives: $XDG_CONFIG_HOME/kelvara/settings when that is
// an absolute path, else $HOME/.config/kelvara/settings; empty when neither
// variable is usable. Either argument may be null (unset).
std::filesystem::path settingsFilePath(const char* xdgConfigHome, const char* home);

// settingsFilePath() from this process's environment.
std::filesystem::path defaultSettingsFilePath();

} // namespace kelvara
