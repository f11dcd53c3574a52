#pragma once

#include <string>

namespace kelvara {

// Where an installation puts kelvara's files, for the manual page's FILES.
struct InstallPaths {
    std::string program;      // the program on the PATH
    std::string hack;         // the copy XScreenSaver runs
    std::string optionFile;   // XScreenSaver's option file
    std::string desktopEntry; // the .desktop entry that grants KWin's screenshots
};

// The manual page kelvara(6), in the man macros: the options and settings
// come from the option and settings tables.
std::string manualPage(const InstallPaths& paths, const std::string& version);

} // namespace kelvara
