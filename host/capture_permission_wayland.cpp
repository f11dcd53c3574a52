// --grant-capture, --revoke-capture and --allow-capture.
//
// Provides: grantCapture, allowCapture. The entry goes where the XDG data
// folders put the user's applications ($XDG_DATA_HOME/applications, else
// ~/.local/share/applications), under a name of its own per program path so
// it never hides the package's kelvara.desktop.
// Limits: KWin matches the entry against the program's real path: a build
// that moves needs the command again.
#include "host/capture_permission_wayland.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bus/bus.h"
#include "capture/capture_services_wayland.h"
#include "cli/desktop_entry.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

std::filesystem::path applicationsFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::filesystem::path(data) / "applications";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::filesystem::path(home) / ".local/share/applications";
    return {};
}

} // namespace

int grantCapture(bool grant) {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        reportFailure("readlink /proc/self/exe: %s", error.message().c_str());
        return 1;
    }
    const std::filesystem::path folder = applicationsFolder();
    if (folder.empty()) {
        reportFailure("--%s-capture: neither XDG_DATA_HOME nor HOME is set", grant ? "grant" : "revoke");
        return 1;
    }
    const std::filesystem::path entry = folder / captureGrantFileName(program.string());
    if (!grant) {
        if (!std::filesystem::remove(entry, error) && error) {
            reportFailure("remove %s: %s", entry.c_str(), error.message().c_str());
            return 1;
        }
        std::printf("%s: KWin no longer hands %s the desktop's picture (an installed package's own entry "
                    "stays)\n",
                    entry.c_str(), program.c_str());
        return 0;
    }
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path temporary = entry.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << captureGrantEntry(program.string());
        out.close();
        if (!out) {
            reportFailure("write %s: %s", temporary.c_str(), std::strerror(errno));
            std::filesystem::remove(temporary, error);
            return 1;
        }
    }
    std::filesystem::rename(temporary, entry, error);
    if (error) {
        reportFailure("rename to %s: %s", entry.c_str(), error.message().c_str());
        return 1;
    }
    std::printf("%s: KWin hands %s each output's picture from now on (kelvara --revoke-capture takes it "
                "back)\n",
                entry.c_str(), program.c_str());
    return 0;
}

int allowCapture() {
    std::unique_ptr<BusConnection> bus = BusConnection::open(BusKind::Session);
    if (!bus)
        return 1;
    std::printf("Asking the desktop portal for one screenshot; if the desktop asks whether Kelvara may take "
                "screenshots, answer it now.\n");
    std::fflush(stdout);
    std::string what;
    if (!askPortalOnce(*bus, what)) {
        reportFailure("org.freedesktop.portal.Screenshot: %s", what.c_str());
        return 1;
    }
    std::printf("Allowed: %s. The saver will get the desktop's picture without asking.\n", what.c_str());
    return 0;
}

} // namespace kelvara
