#pragma once

#include <string>

namespace kelvara {

// XScreenSaver's option file for kelvara (the controls its settings dialog
// shows, each passing an option for the run), made from the settings table.
// Only settings that act in a run under XScreenSaver get a control.
struct OptionFile {
    bool ok = false;
    std::string error; // when a setting is neither placed nor left out on purpose
    std::string text;
};

OptionFile xscreensaverOptionFile();

} // namespace kelvara
