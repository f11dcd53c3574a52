#include "cli/desktop_entry.h"

#include <cstdint>
#include <cstdio>

namespace kelvara {

namespace {

// The Exec= key's quoting: a path of plain characters as it is, any other in
// double quotes with ", `, $ and \ escaped, then every \ doubled once more,
// as a string value of the entry file.
std::string execArgument(const std::string& path) {
    bool plain = !path.empty();
    for (char c : path) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '/' || c == '.' || c == '_' || c == '-' || c == '+';
        plain = plain && safe;
    }
    if (plain) {
        return path;
    }
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        value += c;
        if (c == '\\') {
            value += '\\';
        }
    }
    return value;
}

} // namespace

std::string captureGrantEntry(const std::string& programPath) {
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Kelvara\n"
                       "Comment=3D screen saver: may take each screen's picture before it starts\n"
                       "Exec=") +
           execArgument(programPath) +
           "\n"
           "NoDisplay=true\n"
           "X-KDE-DBUS-Restricted-Interfaces=" +
           kKwinScreenshotInterface + "\n";
}

std::string captureGrantFileName(const std::string& programPath) {
    // FNV-1a: a stable short name for the path, the same on every run.
    uint64_t hash = 14695981039346656037u;
    for (unsigned char c : programPath) {
        hash = (hash ^ c) * 1099511628211u;
    }
    char name[64];
    std::snprintf(name, sizeof name, "kelvara-capture-%016llx.desktop",
                  static_cast<unsigned long long>(hash));
    return name;
}

} // namespace kelvara
