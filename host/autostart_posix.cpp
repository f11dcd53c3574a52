// The session's autostart entry for the idle watch (kelvara --autostart).
//
// Provides: setAutostart. Writes or removes
// $XDG_CONFIG_HOME/autostart/kelvara-idle.desktop (~/.config/autostart/ when
// XDG_CONFIG_HOME is unset), which GNOME, KDE and other XDG sessions start at
// login. The entry runs this very program (its resolved path), so a build
// from the source tree and an installed one each name themselves.
// Limits: wlroots compositors without an XDG autostart runner (sway reads
// only its own configuration) ignore the entry.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/idle_watch.h"
#include "host/saver_host.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

std::filesystem::path autostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::filesystem::path(config) / "autostart";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::filesystem::path(home) / ".config" / "autostart";
    return {};
}

// The file names a later login's watch will see: made absolute now, from
// the folder this command runs in.
std::string absolute(const std::string& file) {
    std::error_code error;
    const std::filesystem::path p = std::filesystem::absolute(file, error);
    return error ? file : p.string();
}

int addEntry(const std::filesystem::path& file, const SaverOptions& options) {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        reportFailure("--autostart: readlink /proc/self/exe: %s", std::strerror(errno));
        return 1;
    }
    exe[n] = '\0';
    SaverOptions watch = options;
    if (!watch.settingsFile.empty())
        watch.settingsFile = absolute(watch.settingsFile);
    if (!watch.run.control.statsFile.empty())
        watch.run.control.statsFile = absolute(watch.run.control.statsFile);
    std::vector<std::string> arguments = {"--idle", std::to_string(options.idleSeconds)};
    const std::vector<std::string> run = runArguments(watch);
    arguments.insert(arguments.end(), run.begin(), run.end());

    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    // Written beside it and renamed over it: a login never reads half an entry.
    const std::filesystem::path temporary = file.string() + ".new";
    std::ofstream out(temporary, std::ios::trunc);
    out << autostartEntry(exe, arguments);
    out.close();
    if (!out || (std::filesystem::rename(temporary, file, error), error)) {
        reportFailure("--autostart: cannot write %s: %s", file.c_str(),
                      error ? error.message().c_str() : std::strerror(errno));
        std::filesystem::remove(temporary, error);
        return 1;
    }
    std::printf("Wrote %s: from the next login the session starts %s --idle %u (off: kelvara --autostart "
                "off)\n",
                file.c_str(), exe, options.idleSeconds);
    return 0;
}

} // namespace

int setAutostart(const SaverOptions& options) {
    const std::filesystem::path folder = autostartFolder();
    if (folder.empty()) {
        reportFailure("--autostart: neither XDG_CONFIG_HOME nor HOME is set; no autostart folder");
        return 1;
    }
    const std::filesystem::path file = folder / "kelvara-idle.desktop";
    if (options.idleSeconds > 0)
        return addEntry(file, options);
    std::error_code error;
    if (!std::filesystem::remove(file, error)) {
        if (error) {
            reportFailure("--autostart off: cannot remove %s: %s", file.c_str(), error.message().c_str());
            return 1;
        }
        std::printf("No autostart entry at %s; nothing to remove\n", file.c_str());
        return 0;
    }
    std::printf("Removed %s: the idle watch no longer starts with the session\n", file.c_str());
    return 0;
}

} // namespace kelvara
