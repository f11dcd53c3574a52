#include "capture/xscreensaver_prefs.h"

#include <string>

#include "settings/printable_text.h"

namespace kelvara {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::optional<bool> booleanValue(std::string_view value) {
    for (std::string_view yes : {"true", "yes", "on"})
        if (equalsIgnoringCase(value, yes))
            return true;
    for (std::string_view no : {"false", "no", "off"})
        if (equalsIgnoringCase(value, no))
            return false;
    return std::nullopt;
}

// The resource's name is the last component of the entry's name: a bare
// "grabDesktopImages", "*grabDesktopImages" or "xscreensaver.grabDesktopImages".
bool namesTheResource(std::string_view name) {
    constexpr std::string_view kResource = "grabDesktopImages";
    if (name.size() < kResource.size() || name.substr(name.size() - kResource.size()) != kResource)
        return false;
    if (name.size() == kResource.size())
        return true;
    const char before = name[name.size() - kResource.size() - 1];
    return before == '*' || before == '.';
}

} // namespace

std::optional<bool> grabDesktopImagesIn(std::string_view text) {
    std::optional<bool> found;
    while (!text.empty()) {
        // One entry: its lines joined while each ends in a backslash.
        std::string entry;
        for (;;) {
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            const bool continued = !line.empty() && line.back() == '\\';
            if (continued)
                line.remove_suffix(1);
            entry += line;
            if (!continued || text.empty())
                break;
        }
        const std::string_view e = trimBlanks(entry);
        if (e.empty() || e.front() == '!' || e.front() == '#')
            continue;
        const std::size_t colon = e.find(':');
        if (colon == std::string_view::npos || !namesTheResource(trimBlanks(e.substr(0, colon))))
            continue;
        if (const std::optional<bool> value = booleanValue(trimBlanks(e.substr(colon + 1))))
            found = value;
    }
    return found;
}

GrabChoice desktopGrabChoice(std::optional<bool> userFile, std::optional<bool> systemDefaults) {
    if (userFile)
        return {*userFile, GrabChoiceSource::UserFile};
    if (systemDefaults)
        return {*systemDefaults, GrabChoiceSource::SystemDefaults};
    return {};
}

} // namespace kelvara
