// Settings file store: portable C++ file I/O only. Used by the Linux build as
// its settings store; the Windows build keeps its settings in the registry and
// compiles this file for the tests alone.
#include "settings/store_file.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <system_error>
#include <unordered_map>

#include "settings/failure_line.h"
#include "settings/file_sync.h"
#include "settings/printable_text.h"

namespace kelvara {

namespace fs = std::filesystem;

namespace {

// A name must survive being written back as a line of its own.
bool validName(std::string_view name) {
    if (name.empty())
        return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '=')
            return false;
    }
    return !isLineBlank(name.front()) && !isLineBlank(name.back()) && name.front() != '#';
}

// Decimal -2147483648..4294967295 as the 32 bits a REG_DWORD would hold.
std::optional<uint32_t> parseValue(std::string_view s) {
    const bool negative = !s.empty() && s.front() == '-';
    if (negative)
        s.remove_prefix(1);
    if (s.empty())
        return std::nullopt;
    const uint64_t limit = negative ? 2147483648u : 4294967295u;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > limit) // stops long runs of digits before they overflow
            return std::nullopt;
    }
    const auto bits = static_cast<uint32_t>(v);
    return negative ? 0u - bits : bits;
}

enum class FileState { Missing, Read, Unreadable };

struct FileContents {
    FileState state = FileState::Missing;
    std::string text;
    std::string reason; // why an existing file could not be read
};

std::string errnoText(int err) {
    return std::generic_category().message(err);
}

FileContents readWholeFile(const fs::path& path) {
    FileContents out;
    if (path.empty())
        return out;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        out.state = FileState::Unreadable;
        out.reason = ec.message();
        return out;
    }
    if (!fs::exists(st))
        return out;
    out.state = FileState::Unreadable;
    // A directory, a pipe or a device: opening a pipe could block for ever.
    if (!fs::is_regular_file(st)) {
        out.reason = "not a regular file";
        return out;
    }
    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    if (!f) {
        out.reason = errnoText(errno);
        return out;
    }
    char buffer[8192];
    bool tooLarge = false;
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
        if (n == 0)
            break;
        if (out.text.size() + n > kMaxSettingsFileBytes) {
            tooLarge = true;
            break;
        }
        out.text.append(buffer, n);
    }
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (tooLarge) {
        out.reason = "larger than " + std::to_string(kMaxSettingsFileBytes) + " bytes";
        out.text.clear();
    } else if (failed) {
        out.reason = errnoText(err);
        out.text.clear();
    } else if (out.text.find('\0') != std::string::npos) {
        // A save never writes one: a picture, a program, a damaged file.
        out.reason = "not a text file: it holds zero bytes";
        out.text.clear();
    } else {
        out.state = FileState::Read;
    }
    return out;
}

// A file name as a message quotes it: one line, however odd the name.
std::string shown(const fs::path& path) {
    return printableExcerpt(path.string(), 512);
}

void report(const std::string& line) {
    reportFailure("%s", line.c_str());
}

// Parses a file that was read. Text of which not one line is a value or a
// comment is not a settings file (a --settings pointing at the wrong file, or
// one damaged beyond use): it becomes unreadable, so a save leaves it alone.
std::vector<StoredValue> parseFile(FileContents& file, SkippedLines& skipped) {
    std::vector<StoredValue> values;
    if (file.state != FileState::Read)
        return values;
    values = parseSettingsText(file.text, &skipped);
    if (values.empty() && skipped.commentLines == 0 && skipped.count > 0) {
        file.state = FileState::Unreadable;
        file.reason = "no line in it is NAME=NUMBER";
    }
    return values;
}

// Unique enough that two processes (or two stores in one) never pick the same
// temporary file: a random draw where the platform has one, mixed with the
// clock and this object's address.
std::string makeTempSuffix(const void* self) {
    uint64_t mix = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    mix ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(self)) * 0x9e3779b97f4a7c15u;
    try {
        std::random_device rd;
        mix ^= (static_cast<uint64_t>(rd()) << 32) | rd();
    } catch (const std::exception&) {
        // No entropy source: the clock and address still separate writers.
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(mix));
    return std::string(".tmp-") + hex;
}

// The file a save replaces: where a symbolic link points, so a linked settings
// file stays linked.
fs::path saveTarget(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec)
            return resolved;
    }
    return path;
}

bool writeFileFully(const fs::path& path, const std::string& text, std::string& reason) {
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) {
        reason = errnoText(errno);
        return false;
    }
    errno = 0;
    const std::size_t written = std::fwrite(text.data(), 1, text.size(), f);
    const int writeErr = errno;
    // On the disk before the rename: otherwise a power loss soon after a save
    // could leave the renamed file empty, losing the old values too.
    std::string syncReason;
    const bool synced = written == text.size() && syncFileToDisk(f, syncReason);
    errno = 0;
    const bool closed = std::fclose(f) == 0;
    if (written != text.size() || !synced || !closed) {
        if (written != text.size())
            reason = errnoText(writeErr != 0 ? writeErr : EIO);
        else
            reason = !synced ? syncReason : errnoText(errno != 0 ? errno : EIO);
        std::error_code ec;
        fs::remove(path, ec);
        return false;
    }
    return true;
}

// "<settings file name>.tmp-" and sixteen hex digits: what makeTempSuffix
// gives a temporary file.
bool isTempFileName(const fs::path::string_type& name, const fs::path::string_type& prefix) {
    constexpr std::size_t kHexDigits = 16;
    if (name.size() != prefix.size() + kHexDigits || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](auto c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A save killed between creating its temporary file and renaming it leaves
// that file behind, named for a store object that is gone. Each save removes
// the leftovers of its own settings file once they are too old to belong to a
// save still in progress (one holds its file for milliseconds). Best effort:
// any failure leaves a file where it is.
void removeStaleTempFiles(const fs::path& target) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const fs::path::string_type prefix = target.filename().native() + fs::path(".tmp-").native();
    std::error_code ec;
    std::vector<fs::path> stale;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTempFileName(it->path().filename().native(), prefix))
            continue;
        std::error_code fileEc;
        if (it->symlink_status(fileEc).type() != fs::file_type::regular || fileEc)
            continue;
        const fs::file_time_type written = fs::last_write_time(it->path(), fileEc);
        if (!fileEc && now - written > kStaleTempFileAge)
            stale.push_back(it->path());
    }
    for (const fs::path& p : stale)
        fs::remove(p, ec);
}

} // namespace

std::vector<StoredValue> parseSettingsText(std::string_view text, SkippedLines* skipped) {
    std::vector<StoredValue> out;
    std::unordered_map<std::string, std::size_t> index;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        const std::string_view line = trimBlanks(raw);
        if (line.empty())
            continue;
        if (line.front() == '#') {
            if (skipped)
                ++skipped->commentLines;
            continue;
        }
        const std::size_t eq = line.find('=');
        const std::string_view name = trimBlanks(line.substr(0, eq == std::string_view::npos ? 0 : eq));
        // No '=' reads as an empty value, which is no number.
        const std::optional<uint32_t> value =
            parseValue(eq == std::string_view::npos ? std::string_view{} : trimBlanks(line.substr(eq + 1)));
        if (raw.size() > kMaxSettingsLineBytes || !validName(name) || !value) {
            if (skipped && skipped->count++ == 0) {
                skipped->firstLine = lineNumber;
                skipped->firstText = printableExcerpt(line, 60);
            }
            continue;
        }
        auto [it, added] = index.try_emplace(std::string(name), out.size());
        if (added)
            out.push_back({std::string(name), *value});
        else
            out[it->second].value = *value;
    }
    return out;
}

std::string formatSettingsText(std::span<const StoredValue> values) {
    std::string text = "# Kelvara settings: name=value, 32-bit integers (float settings as whole numbers)\n";
    for (const StoredValue& v : values) {
        text += v.name;
        text += '=';
        text += std::to_string(static_cast<int32_t>(v.value));
        text += '\n';
    }
    return text;
}

FileStore::FileStore(fs::path path) : path_(std::move(path)), tempSuffix_(makeTempSuffix(this)) {}

fs::path FileStore::tempPath() const {
    fs::path temp = saveTarget(path_);
    temp += tempSuffix_;
    return temp;
}

bool FileStore::read(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const {
    return readValues(names, values, false);
}

bool FileStore::peek(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const {
    return readValues(names, values, true);
}

bool FileStore::readValues(std::span<const std::string> names, std::span<std::optional<uint32_t>> values,
                           bool quietly) const {
    assert(values.size() == names.size());
    for (auto& v : values)
        v.reset();
    FileContents file = readWholeFile(path_);
    SkippedLines skipped;
    const std::vector<StoredValue> stored = parseFile(file, skipped);
    if (file.state == FileState::Unreadable && !quietly) {
        unreadReason_ = file.reason;
        report("cannot read settings file " + shown(path_) + ": " + file.reason + "; using defaults");
    }
    if (file.state != FileState::Read)
        return false;
    if (!quietly)
        unreadReason_.clear();
    if (skipped.count > 0 && !quietly) {
        std::string more;
        if (skipped.count > 1)
            more = " (and " + std::to_string(skipped.count - 1) + " more such line" +
                   (skipped.count > 2 ? "s" : "") + ")";
        report("settings file " + shown(path_) + ", line " + std::to_string(skipped.firstLine) + ": '" +
               skipped.firstText + "' is not NAME=NUMBER with a 32-bit whole number" + more +
               "; skipped, what it would set keeps its default");
    }
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
        for (const StoredValue& s : stored) {
            if (s.name == names[i]) {
                values[i] = s.value;
                break;
            }
        }
    }
    return true;
}

bool FileStore::write(std::span<const StoredValue> values) {
    if (path_.empty()) {
        report("cannot save settings: no settings file (neither XDG_CONFIG_HOME nor HOME is set)");
        return false;
    }
    const fs::path target = saveTarget(path_);
    if (!unreadReason_.empty()) {
        // This run used defaults in place of what the file held: saving them
        // would replace the user's values, even if the file is readable now.
        report("not saving settings to " + shown(target) + ": it could not be read (" + unreadReason_ + ")");
        return false;
    }
    FileContents old = readWholeFile(target);
    SkippedLines skipped;
    std::vector<StoredValue> merged = parseFile(old, skipped);
    if (old.state == FileState::Unreadable) {
        // Replacing a file we could not read could throw away values a user
        // still has; leave it for them to look at.
        report("not saving settings to " + shown(target) + ": cannot read it: " + old.reason);
        return false;
    }

    for (const StoredValue& v : values) {
        assert(validName(v.name));
        if (!validName(v.name))
            continue;
        bool found = false;
        for (StoredValue& m : merged) {
            if (m.name == v.name) {
                m.value = v.value;
                found = true;
                break;
            }
        }
        if (!found)
            merged.push_back(v);
    }

    std::error_code ec;
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), ec);
        if (ec) {
            report("cannot save settings to " + shown(target) +
                   ": cannot create its folder: " + ec.message());
            return false;
        }
    }

    const fs::path temp = tempPath();
    std::string reason;
    if (!writeFileFully(temp, formatSettingsText(merged), reason)) {
        report("cannot save settings: writing " + shown(temp) + ": " + reason);
        return false;
    }
    if (old.state == FileState::Read) {
        // Keep the permissions a user gave the old file (say, private).
        const fs::file_status st = fs::status(target, ec);
        if (!ec)
            fs::permissions(temp, st.permissions(), ec);
    }
    fs::rename(temp, target, ec);
    if (ec) {
        const std::string why = ec.message();
        fs::remove(temp, ec);
        report("cannot save settings: renaming " + shown(temp) + " to " + shown(target) + ": " + why);
        return false;
    }
    // The rename is an entry of the folder: on the disk only with the folder.
    syncFolderToDisk(target.parent_path());
    removeStaleTempFiles(target);
    return true;
}

fs::path settingsFilePath(const char* xdgConfigHome, const char* home) {
    auto withoutTrailingSlashes = [](std::string s) {
        while (!s.empty() && s.back() == '/')
            s.pop_back();
        return s;
    };
    // The base-directory convention ignores relative values; it is a POSIX
    // convention, so absolute means a leading slash whatever the build.
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        return fs::path(withoutTrailingSlashes(xdgConfigHome) + "/kelvara/settings");
    if (home && home[0] != '\0')
        return fs::path(withoutTrailingSlashes(home) + "/.config/kelvara/settings");
    return {};
}

fs::path defaultSettingsFilePath() {
    return settingsFilePath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

} // namespace kelvara
