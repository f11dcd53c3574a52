#pragma once

#include <optional>
#include <string_view>

namespace kelvara {

// XScreenSaver keeps the user's "Grab Desktop Images" choice as the resource
// grabDesktopImages: in ~/.xscreensaver ("grabDesktopImages:\tTrue") and, as
// the system's default, in its app-defaults file ("*grabDesktopImages: False"
// on Debian). Its daemon saves a screenshot whatever the choice says; the
// programs it runs are the ones that must honour it.

// The value `text` (a resource file) gives the resource: the last entry whose
// name ends in grabDesktopImages, read as XScreenSaver reads a boolean (true,
// yes, on / false, no, off, any case). Nothing when no entry gives a value.
// Continued lines (a trailing backslash) belong to the entry they continue.
std::optional<bool> grabDesktopImagesIn(std::string_view text);

// Where the choice came from, for the line that says the logo is shown.
enum class GrabChoiceSource { UserFile, SystemDefaults, BuiltIn };

struct GrabChoice {
    bool allowed = true;
    GrabChoiceSource source = GrabChoiceSource::BuiltIn;
};

// The choice in effect: the user's file when it says, else the system's
// defaults, else allowed (XScreenSaver's own default).
GrabChoice desktopGrabChoice(std::optional<bool> userFile, std::optional<bool> systemDefaults);

} // namespace kelvara
