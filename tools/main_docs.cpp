// kelvara-docs: writes the manual page and XScreenSaver's option file from
// the program's own option and settings tables, and the .desktop entry that
// grants KWin's screenshots to the installed program. The build runs it, so
// they always say what the program it installs accepts.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "cli/desktop_entry.h"
#include "cli/manual_page.h"
#include "cli/option_file.h"
#include "kelvara_version.h"

namespace {

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "kelvara-docs: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string manOut, optionOut, entryOut;
    kelvara::InstallPaths paths;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--man")
            manOut = value;
        else if (name == "--option-file")
            optionOut = value;
        else if (name == "--program")
            paths.program = value;
        else if (name == "--hack")
            paths.hack = value;
        else if (name == "--option-path")
            paths.optionFile = value;
        else if (name == "--desktop-entry")
            entryOut = value;
        else if (name == "--desktop-entry-path")
            paths.desktopEntry = value;
        else {
            std::fprintf(stderr, "kelvara-docs: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (argc % 2 == 0 || manOut.empty() || optionOut.empty() || paths.program.empty() || paths.hack.empty() ||
        paths.optionFile.empty() || entryOut.empty() || paths.desktopEntry.empty()) {
        std::fprintf(stderr, "usage: kelvara-docs --man FILE --option-file FILE --desktop-entry FILE "
                             "--program PATH --hack PATH --option-path PATH --desktop-entry-path PATH\n");
        return 2;
    }
    const kelvara::OptionFile options = kelvara::xscreensaverOptionFile();
    if (!options.ok) {
        std::fprintf(stderr, "kelvara-docs: %s\n", options.error.c_str());
        return 1;
    }
    if (!writeFile(optionOut, options.text) ||
        !writeFile(entryOut, kelvara::captureGrantEntry(paths.program)) ||
        !writeFile(manOut, kelvara::manualPage(paths, KELVARA_VERSION)))
        return 1;
    return 0;
}
